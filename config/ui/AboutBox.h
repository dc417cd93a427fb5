#pragma once
// The "About Pixreel" box: the version line, the copyright, the maker's web site and support
// address as links, the program icon and the turning film reel.

#include <wx/dialog.h>

class AboutBox : public wxDialog {
public:
    explicit AboutBox(wxWindow* parent);
};

/// The maker's web address the box links to.
extern const char* const kMakerWebSite;
