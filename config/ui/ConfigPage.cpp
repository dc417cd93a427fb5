#include "config/ui/ConfigPage.h"

#include <wx/sizer.h>

#include "config/ui/DialogLayout.h"

namespace {

// Every page template is this size, in dialog units.
constexpr int kPageWidth = 265;
constexpr int kPageHeight = 160;

}  // namespace

ConfigPage::ConfigPage(wxWindow* book, const char* helpTopic) : wxPanel(book), helpTopic_(helpTopic) {}

void ConfigPage::EnsureInitialised() {
    if (initialised_)
        return;
    initialised_ = true;
    settings_.Load();
    Initialise();
}

void ConfigPage::SetPageContent(wxSizer* content) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(content, 1, wxEXPAND);
    if (wxWindow* icon = ProgramIcon(this))
        row->Add(icon, 0, wxALIGN_TOP | wxLEFT, DialogMargin(this));
    auto* page = new wxBoxSizer(wxVERTICAL);
    page->Add(row, 1, wxEXPAND | wxALL, DialogMargin(this));
    page->SetMinSize(DialogUnits(this, kPageWidth, kPageHeight));
    SetSizer(page);
}
