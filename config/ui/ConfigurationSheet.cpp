#include "config/ui/ConfigurationSheet.h"

#include <wx/bookctrl.h>
#include <wx/sizer.h>

#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "config/ui/DlgAdvanced.h"
#include "config/ui/DlgGeneral.h"
#include "config/ui/DlgProperties.h"
#include "platform/StringTable.h"

ConfigurationSheet::ConfigurationSheet(wxWindow* parent) {
    SetSheetStyle(wxPROPSHEET_NOTEBOOK);
    Create(parent, wxID_ANY, LoadStringText(IDS_CONFIGURE));
    CreateButtons(wxOK | wxCANCEL | wxHELP);

    wxBookCtrlBase* book = GetBookCtrl();
    properties_ = new CDlgProperties(book);
    general_ = new CDlgGeneral(book);
    advanced_ = new CDlgAdvanced(book);
    pages_ = {properties_, general_, advanced_};
    book->AddPage(properties_, "Configure", true);
    book->AddPage(general_, "Video");
    book->AddPage(advanced_, "Advanced");
    LayoutDialog();

    // The sheet opens on the Configure page, which is shown at once.
    EnterPage(0);

    book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGED, &ConfigurationSheet::OnPageChanged, this);
    Bind(wxEVT_BUTTON, &ConfigurationSheet::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &ConfigurationSheet::OnHelp, this, wxID_HELP);
    // F1 anywhere in the sheet opens the topic of the page in front.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& key) {
        if (key.GetKeyCode() == WXK_F1 && !key.HasAnyModifiers())
            ShowPageHelp();
        else
            key.Skip();
    });
}

bool ConfigurationSheet::ShowPage(size_t index) {
    if (index >= pages_.size())
        return false;
    if (index != shown_) {
        if (!LeaveShownPage())
            return false;
        GetBookCtrl()->ChangeSelection(index);
        EnterPage(index);
    }
    return true;
}

bool ConfigurationSheet::LeaveShownPage() {
    ConfigPage::Refusal refusal;
    if (pages_[shown_]->CheckValues(refusal))
        return true;
    // The box comes once the tab switch is over, the page back in front.
    CallAfter([this, refusal] {
        GetBookCtrl()->ChangeSelection(shown_);
        RefuseValue(refusal.control, refusal.message);
    });
    return false;
}

void ConfigurationSheet::EnterPage(size_t index) {
    shown_ = index;
    pages_[index]->EnsureInitialised();
}

void ConfigurationSheet::OnPageChanged(wxBookCtrlEvent& event) {
    // A click on a tab has switched pages already; a page that refuses its values is brought
    // back to the front.
    const int selected = GetBookCtrl()->GetSelection();
    if (selected != wxNOT_FOUND && static_cast<size_t>(selected) != shown_ && LeaveShownPage())
        EnterPage(static_cast<size_t>(selected));
    event.Skip();
}

bool ConfigurationSheet::Confirm() {
    for (size_t i = 0; i < pages_.size(); ++i) {
        ConfigPage::Refusal refusal;
        if (pages_[i]->IsInitialised() && !pages_[i]->CheckValues(refusal)) {
            GetBookCtrl()->ChangeSelection(i);
            shown_ = i;
            RefuseValue(refusal.control, refusal.message);
            return false;
        }
    }
    for (ConfigPage* page : pages_) {
        if (page->IsInitialised())
            page->Store();
    }
    return true;
}

void ConfigurationSheet::OnOk(wxCommandEvent&) {
    if (Confirm())
        EndModal(wxID_OK);
}

void ConfigurationSheet::ShowPageHelp() {
    ShowHelpTopic(pages_[shown_]->HelpTopic());
}

void ConfigurationSheet::OnHelp(wxCommandEvent&) {
    ShowPageHelp();
}

bool RunConfigurationSheet(wxWindow* parent) {
    ConfigurationSheet sheet(parent);
    return sheet.ShowModal() == wxID_OK;
}
