#include "config/ui/AcknowledgementsBox.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "config/ui/LibraryVersions.h"
#include "image/PixImage.h"

namespace {

constexpr int kBoxWidth = 187;
constexpr int kBoxHeight = 98;
// The list's entries stand closer than the usual gap.
constexpr int kListGap = 3;

}  // namespace

AcknowledgementsBox::AcknowledgementsBox(wxWindow* parent) : wxDialog(parent, wxID_ANY, "Acknowledgements") {
    const int gap = DialogUnitsX(this, kListGap);
    auto* list = new wxFlexGridSizer(2, gap, 2 * gap);
    auto addEntry = [&](const std::string& label, int id, const std::string& version) {
        list->Add(new wxStaticText(this, wxID_ANY, FromUtf8(label)));
        list->Add(new wxStaticText(this, id, FromUtf8(version)));
    };
    addEntry("1. PixImage Version:", IDC_PIXIMAGE_VERSION, CPixImage::VersionText());
    int number = 2;
    for (const LibraryVersion& library : LibraryVersions())
        addEntry(std::to_string(number++) + ". " + library.name + " Version:", wxID_ANY, library.version);

    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(new wxStaticText(this, wxID_ANY, "Pixreel uses the following 3rd party libraries"), 0, wxBOTTOM,
                 DialogMargin(this));
    content->Add(list, 1);
    LayOutOkBox(this, content, kBoxWidth, kBoxHeight);
}

void ShowAcknowledgementsBox(wxWindow* parent) {
    AcknowledgementsBox box(parent);
    box.ShowModal();
}
