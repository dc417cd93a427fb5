// A compressor's own options dialog: one choice list per option of the registry's table, under
// the compressor's description.

#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <vector>

#include "config/ui/DialogLayout.h"
#include "config/ui/SelectCodecDialog.h"
#include "platform/Codecs.h"

namespace {

constexpr int kChoiceWidth = 110;

}  // namespace

int RunCodecOptionsDialog(void* owner, const char* description, ICOPTION* options, int count) {
    wxDialog dialog(static_cast<wxWindow*>(owner), wxID_ANY, FromUtf8(description ? description : ""));
    const int gap = DialogGap(&dialog);
    const int margin = DialogMargin(&dialog);

    auto* grid = new wxFlexGridSizer(2, gap, 2 * gap);
    grid->AddGrowableCol(1);
    std::vector<wxChoice*> lists;
    for (int i = 0; i < count; ++i) {
        const ICOPTION& option = options[i];
        wxArrayString texts;
        for (const char* const* choice = option.choices; choice && *choice; ++choice)
            texts.Add(FromUtf8(*choice));
        auto* list = new wxChoice(&dialog, wxID_ANY, wxDefaultPosition,
                                  wxSize(DialogUnitsX(&dialog, kChoiceWidth), -1), texts);
        const int shown = option.choice >= 0 && option.choice < static_cast<int>(texts.size()) ? option.choice
                                                                                               : option.defaultChoice;
        list->SetSelection(shown);
        grid->Add(new wxStaticText(&dialog, wxID_ANY, FromUtf8(option.label)), 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(list, 1, wxEXPAND);
        lists.push_back(list);
    }

    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(grid, 1, wxEXPAND | wxALL, margin);
    box->Add(dialog.CreateSeparatedButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, margin);
    dialog.SetSizerAndFit(box);
    dialog.CentreOnParent();
    if (dialog.ShowModal() != wxID_OK)
        return 0;
    for (int i = 0; i < count; ++i)
        options[i].choice = lists[static_cast<size_t>(i)]->GetSelection();
    return 1;
}
