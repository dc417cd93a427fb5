#pragma once
// The "Acknowledgements" box: the image toolkit and the outside libraries the program runs on,
// each with its version.

#include <wx/dialog.h>

class AcknowledgementsBox : public wxDialog {
public:
    // The image toolkit's version text.
    enum { IDC_PIXIMAGE_VERSION = 1009 };

    explicit AcknowledgementsBox(wxWindow* parent);
};
