#pragma once
// The file list on the form: a report list that shows the view's FileList model. The model holds
// the entries, their order, selection and converted marks; the control shows them (a virtual
// list, so that tens of thousands of entries cost nothing to show) and hands the user's selection
// back to the model.

#include <wx/listctrl.h>

#include <functional>
#include <vector>

class FileList;

class CFileListCtrl : public wxListCtrl {
public:
    CFileListCtrl(wxWindow* parent, FileList& model, const wxPoint& position, const wxSize& size);

    /// The columns and the two icons (not converted, converted).
    void SetUpColumns();
    /// Shows the model as it is now: its entries, selection and focus.
    void SyncFromModel();
    /// Shows the converted mark of one entry.
    void RefreshEntry(int index);

    /// Runs after the user changed the selection.
    void OnSelectionChanged(std::function<void()> handler) { onSelection_ = std::move(handler); }
    /// Runs on a right click, with the point in screen coordinates.
    void OnContextMenuRequested(std::function<void(const wxPoint&)> handler) { onContextMenu_ = std::move(handler); }

    /// The selected rows as the control shows them, top to bottom.
    std::vector<int> SelectedRows() const;

private:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemImage(long item) const override;
    int OnGetItemColumnImage(long item, long column) const override;
    void SelectionToModel();

    FileList& model_;
    bool syncing_ = false;
    bool hasIcons_ = false;
    std::function<void()> onSelection_;
    std::function<void(const wxPoint&)> onContextMenu_;
};

/// Image indices of the list's icons.
enum FileListImage : int { kImageNotConverted = 0, kImageConverted = 1 };
