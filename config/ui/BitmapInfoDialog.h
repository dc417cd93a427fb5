#pragma once
// The "Bitmap Information" box about the picture in the preview: file name, format, size,
// resolution and depth, in read-only fields.

#include <wx/dialog.h>

class CImageFile;

class BitmapInfoDialog : public wxDialog {
public:
    // Control ids of the box's template.
    enum {
        IDC_FILE_NAME = 1000,
        IDC_FILE_TYPE = 1001,
        IDC_DIMENSIONS = 1002,
        IDC_RESOLUTION = 1003,
        IDC_PIXEL_DEPTH = 1004,
    };

    /// Fields filled from the image; all empty when there is none.
    BitmapInfoDialog(wxWindow* parent, const CImageFile* image);
};
