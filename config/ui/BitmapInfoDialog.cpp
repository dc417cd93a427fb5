#include "config/ui/BitmapInfoDialog.h"

#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "engine/ImageFile.h"

namespace {

constexpr int kBoxWidth = 254;
constexpr int kBoxHeight = 125;
constexpr int kFieldWidth = 170;

struct Field {
    int id;
    const char* label;
    std::string text;
};

}  // namespace

BitmapInfoDialog::BitmapInfoDialog(wxWindow* parent, const CImageFile* image)
    : wxDialog(parent, wxID_ANY, "Bitmap Information") {
    Field fields[] = {
        {IDC_FILE_NAME, "File name", ""},
        {IDC_FILE_TYPE, "File type", ""},
        {IDC_DIMENSIONS, "Dimensions", ""},
        {IDC_RESOLUTION, "Pixels per Inch", ""},
        {IDC_PIXEL_DEPTH, "Pixel Depth", ""},
    };
    if (image && !image->IsEmpty()) {
        const int dpi = image->HorizontalDpi();
        fields[0].text = image->Name();
        fields[1].text = image->FormatName() ? image->FormatName() : "";
        fields[2].text = std::to_string(image->Width()) + " x " + std::to_string(image->Height()) + " pixels";
        fields[3].text = dpi == 0 ? std::string("Unknown") : std::to_string(dpi) + " DPI";
        fields[4].text = std::to_string(image->BitsPerPixel()) + " bits";
    }

    const int gap = DialogGap(this);
    auto* grid = new wxFlexGridSizer(2, gap, 2 * gap);
    grid->AddGrowableCol(1);
    for (const Field& field : fields) {
        grid->Add(new wxStaticText(this, wxID_ANY, field.label), 0, wxALIGN_CENTER_VERTICAL);
        auto* box = new wxTextCtrl(this, field.id, FromUtf8(field.text), wxDefaultPosition,
                                   wxSize(DialogUnitsX(this, kFieldWidth), -1), wxTE_READONLY);
        grid->Add(box, 1, wxEXPAND);
    }
    LayOutOkBox(this, grid, kBoxWidth, kBoxHeight);
}

void ShowBitmapInformation(wxWindow* parent, const CImageFile* image) {
    BitmapInfoDialog box(parent, image);
    box.ShowModal();
}
