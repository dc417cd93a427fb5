#include "config/ui/AboutBox.h"

#include <wx/animate.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "config/ui/LinkEdit.h"
#include "platform/DataFiles.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"

const char* const kMakerWebSite = "https://www.pixreel.org/";

namespace {

// The box's template size in dialog units, the width of the link fields and the spacing.
constexpr int kBoxWidth = 235;
constexpr int kBoxHeight = 97;
constexpr int kLinkWidth = 110;

// The turning reel, playing without end; nothing when its file is missing or unreadable.
wxWindow* ReelAnimation(wxWindow* parent) {
    wxAnimation reel;
    if (!reel.LoadFile(FromUtf8(DataFilePath("about.gif"))))
        return nullptr;
    auto* control = new wxAnimationCtrl(parent, IDC_ANIMATION, reel, wxDefaultPosition, wxDefaultSize,
                                        wxAC_NO_AUTORESIZE | wxBORDER_NONE);
    control->SetMinSize(reel.GetSize());
    control->Play();
    return control;
}

}  // namespace

AboutBox::AboutBox(wxWindow* parent) : wxDialog(parent, wxID_ANY, "About Pixreel") {
    const int gap = DialogGap(this);
    const int margin = DialogMargin(this);

    auto* texts = new wxBoxSizer(wxVERTICAL);
    texts->Add(new wxStaticText(this, IDC_VERSION, FromUtf8(VersionLine())));
    texts->Add(new wxStaticText(this, IDC_COPYRIGHT_LABEL, FromUtf8(VersionValue("LegalCopyright"))), 0, wxTOP, gap);
    auto* links = new wxFlexGridSizer(2, gap, 0);
    const wxSize linkSize(DialogUnitsX(this, kLinkWidth), -1);
    auto addLink = [&](const char* label, int id, const char* address) {
        links->Add(new wxStaticText(this, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxALIGN_RIGHT), 0,
                   wxALIGN_RIGHT | wxALIGN_CENTER_VERTICAL);
        auto* link = new LinkEdit(this, id, address);
        link->SetMinSize(linkSize);
        links->Add(link, 1, wxEXPAND);
    };
    addLink("Web Site:- ", IDC_WEB_SITE, kMakerWebSite);
    addLink("Email:- ", IDC_EMAIL, kSupportEmail);
    texts->Add(links, 0, wxTOP, 2 * gap);

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    if (wxWindow* icon = ProgramIcon(this))
        row->Add(icon, 0, wxALIGN_TOP | wxRIGHT, margin);
    row->Add(texts, 1, wxALIGN_TOP);
    if (wxWindow* reel = ReelAnimation(this))
        row->Add(reel, 0, wxALIGN_TOP | wxLEFT, margin);

    LayOutOkBox(this, row, kBoxWidth, kBoxHeight);
}

void ShowAboutBox(wxWindow* parent) {
    AboutBox box(parent);
    box.ShowModal();
}
