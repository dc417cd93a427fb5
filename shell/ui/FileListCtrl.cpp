#include "shell/ui/FileListCtrl.h"

#include "engine/FileList.h"
#include "shell/ui/Icons.h"

namespace {

constexpr int kIconColumnWidth = 32;
constexpr int kNameColumnMargin = 36;
constexpr int kListIconSize = 16;


}  // namespace

CFileListCtrl::CFileListCtrl(wxWindow* parent, FileList& model, const wxPoint& position, const wxSize& size)
    : wxListCtrl(parent, wxID_ANY, position, size, wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES),
      model_(model) {
    auto changed = [this](wxListEvent& event) {
        SelectionToModel();
        event.Skip();
    };
    Bind(wxEVT_LIST_ITEM_SELECTED, changed);
    Bind(wxEVT_LIST_ITEM_DESELECTED, changed);
    Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
        wxPoint at = event.GetPosition();
        if (at == wxDefaultPosition)
            at = wxGetMousePosition();
        if (onContextMenu_)
            onContextMenu_(at);
    });
}

void CFileListCtrl::SetUpColumns() {
    InsertColumn(0, wxString(), wxLIST_FORMAT_LEFT, kIconColumnWidth);
    InsertColumn(1, "File name", wxLIST_FORMAT_LEFT, GetSize().GetWidth() - kNameColumnMargin);
    wxVector<wxBitmapBundle> icons;
    icons.push_back(ProgramIcon("not-converted.svg", kListIconSize));  // kImageNotConverted
    icons.push_back(ProgramIcon("converted.svg", kListIconSize));      // kImageConverted
    // Without its pictures (a copy of the program without its data files) the list shows names.
    hasIcons_ = icons[0].IsOk() && icons[1].IsOk();
    if (hasIcons_)
        SetSmallImages(icons);
}

wxString CFileListCtrl::OnGetItemText(long item, long column) const {
    if (column != 1)
        return wxString();
    return wxString::FromUTF8(model_.EntryAt(static_cast<int>(item)).name);
}

int CFileListCtrl::OnGetItemImage(long item) const {
    return OnGetItemColumnImage(item, 0);
}

int CFileListCtrl::OnGetItemColumnImage(long item, long column) const {
    if (column != 0 || !hasIcons_)
        return -1;
    return model_.EntryAt(static_cast<int>(item)).converted ? kImageConverted : kImageNotConverted;
}

void CFileListCtrl::SyncFromModel() {
    const std::vector<FileList::Entry> entries = model_.Entries();
    syncing_ = true;
    const long count = static_cast<long>(entries.size());
    if (GetItemCount() != count)
        SetItemCount(count);
    // Clearing every row and selecting the model's own ones costs one call per selected row; a
    // list that is wholly selected takes one call.
    bool all = count > 0;
    for (const FileList::Entry& entry : entries)
        all = all && entry.selected;
    SetItemState(-1, all ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
    for (long i = 0; i < count; ++i) {
        if (!all && entries[i].selected)
            SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        if (entries[i].focused)
            SetItemState(i, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    }
    syncing_ = false;
    Refresh();
}

void CFileListCtrl::RefreshEntry(int index) {
    if (index >= 0 && index < GetItemCount())
        RefreshItem(index);
}

std::vector<int> CFileListCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (long i = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i != -1;
         i = GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(static_cast<int>(i));
    return rows;
}

void CFileListCtrl::SelectionToModel() {
    if (syncing_)
        return;
    // A virtual list does not report every row that a click or a range selection deselects, so
    // the whole selection is read back from the control.
    const std::vector<int> rows = SelectedRows();
    const int count = model_.Count();
    size_t next = 0;
    for (int i = 0; i < count; ++i) {
        const bool selected = next < rows.size() && rows[next] == i;
        if (selected)
            ++next;
        model_.SetSelected(i, selected);
    }
    if (onSelection_)
        onSelection_();
}
