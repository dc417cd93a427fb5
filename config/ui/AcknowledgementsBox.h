#pragma once
// The "Acknowledgements" box: the image toolkit and the outside libraries the program runs on,
// each with its version.

#include <wx/dialog.h>

class AcknowledgementsBox : public wxDialog {
public:
    explicit AcknowledgementsBox(wxWindow* parent);
};
