#pragma once
// The "About Pixreel" box: the version line, the copyright, the maker's web site and support
// address as links, the program icon and the turning film reel.

#include <wx/dialog.h>

class AboutBox : public wxDialog {
public:
    // Control ids of the box's template.
    enum {
        IDC_COPYRIGHT = 1028,
        IDC_VERSION = 1043,
        IDC_WEB_SITE = 1045,
        IDC_EMAIL = 1046,
        IDC_ANIMATION = 1048,
    };

    explicit AboutBox(wxWindow* parent);
};

/// The maker's web address the box links to.
extern const char* const kMakerWebSite;
