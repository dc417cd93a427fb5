#include "config/ui/DialogLayout.h"

#include <wx/bmpbndl.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/filefn.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>
#include <wx/window.h>

#include "platform/DataFiles.h"
#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

namespace {

// The icon of the pages and boxes, in dialog units (a 32-pixel icon at the usual font size).
constexpr int kIconUnits = 20;
constexpr int kGapUnits = 4;
constexpr int kMarginUnits = 7;

}  // namespace

wxSize DialogUnits(wxWindow* window, int width, int height) {
    return window->ConvertDialogToPixels(wxSize(width, height));
}

int DialogUnitsX(wxWindow* window, int units) {
    return window->ConvertDialogToPixels(wxSize(units, 0)).x;
}

int DialogUnitsY(wxWindow* window, int units) {
    return window->ConvertDialogToPixels(wxSize(0, units)).y;
}

int DialogGap(wxWindow* window) {
    return DialogUnitsX(window, kGapUnits);
}

int DialogMargin(wxWindow* window) {
    return DialogUnitsX(window, kMarginUnits);
}

wxWindow* ProgramIcon(wxWindow* parent) {
    const wxString path = FromUtf8(DataFilePath("icons/pixreel.svg"));
    const int side = DialogUnitsY(parent, kIconUnits);
    wxBitmapBundle picture = wxFileExists(path) ? wxBitmapBundle::FromSVGFile(path, wxSize(side, side))
                                                : wxBitmapBundle();
    if (!picture.IsOk())
        return nullptr;
    return new wxStaticBitmap(parent, wxID_ANY, picture);
}

void LayOutOkBox(wxDialog* box, wxSizer* content, int widthUnits, int heightUnits) {
    const int margin = DialogMargin(box);
    auto* layout = new wxBoxSizer(wxVERTICAL);
    layout->Add(content, 1, wxEXPAND | wxALL, margin);
    auto* ok = new wxButton(box, wxID_OK, "OK");
    layout->Add(ok, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, margin);
    layout->SetMinSize(DialogUnits(box, widthUnits, heightUnits));
    box->SetSizerAndFit(layout);
    box->CentreOnParent();
    ok->SetDefault();
    ok->SetFocus();
}

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

std::string ToUtf8(const wxString& text) {
    return text.utf8_string();
}

void RefuseValue(wxWindow* control, const std::string& message) {
    ShowMessageBox(message, "", MB_ICONEXCLAMATION);
    if (!control)
        return;
    control->SetFocus();
    if (auto* box = dynamic_cast<wxTextCtrl*>(control))
        box->SelectAll();
}
