#pragma once
// The "Bitmap Information" box about the picture in the preview: file name, format, size,
// resolution and depth, in read-only fields.

#include <wx/dialog.h>

class CImageFile;

class BitmapInfoDialog : public wxDialog {
public:
    /// Fields filled from the image; all empty when there is none.
    BitmapInfoDialog(wxWindow* parent, const CImageFile* image);
};
