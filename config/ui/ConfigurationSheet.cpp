#include "config/ui/ConfigurationSheet.h"

#include <wx/accel.h>
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
    properties_->EnsureInitialised();

    book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGING, &ConfigurationSheet::OnPageChanging, this);
    book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGED, &ConfigurationSheet::OnPageChanged, this);
    Bind(wxEVT_BUTTON, &ConfigurationSheet::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &ConfigurationSheet::OnHelp, this, wxID_HELP);
    Bind(wxEVT_MENU, &ConfigurationSheet::OnHelp, this, wxID_HELP);
    wxAcceleratorEntry f1(wxACCEL_NORMAL, WXK_F1, wxID_HELP);
    SetAcceleratorTable(wxAcceleratorTable(1, &f1));
}

ConfigPage* ConfigurationSheet::CurrentPage() const {
    return static_cast<ConfigPage*>(GetBookCtrl()->GetCurrentPage());
}

bool ConfigurationSheet::ShowPage(size_t index) {
    wxBookCtrlBase* book = GetBookCtrl();
    if (index >= pages_.size())
        return false;
    book->SetSelection(index);
    return book->GetSelection() == static_cast<int>(index);
}

void ConfigurationSheet::OnPageChanging(wxBookCtrlEvent& event) {
    ConfigPage* leaving = CurrentPage();
    ConfigPage::Refusal refusal;
    if (leaving && leaving->IsInitialised() && !leaving->CheckValues(refusal)) {
        event.Veto();
        RefuseValue(refusal.control, refusal.message);
    }
}

void ConfigurationSheet::OnPageChanged(wxBookCtrlEvent& event) {
    if (ConfigPage* page = CurrentPage())
        page->EnsureInitialised();
    event.Skip();
}

bool ConfigurationSheet::Confirm() {
    for (size_t i = 0; i < pages_.size(); ++i) {
        ConfigPage::Refusal refusal;
        if (pages_[i]->IsInitialised() && !pages_[i]->CheckValues(refusal)) {
            GetBookCtrl()->ChangeSelection(i);
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
    if (ConfigPage* page = CurrentPage())
        ShowHelpTopic(page->HelpTopic());
}

void ConfigurationSheet::OnHelp(wxCommandEvent&) {
    ShowPageHelp();
}

bool RunConfigurationSheet(wxWindow* parent) {
    ConfigurationSheet sheet(parent);
    return sheet.ShowModal() == wxID_OK;
}
