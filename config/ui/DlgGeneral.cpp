#include "config/ui/DlgGeneral.h"

#include <wx/datetime.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cstdlib>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/NumberEdit.h"
#include "config/ui/RadioGroup.h"

namespace {

// The range each number box accepts.
struct Range {
    int low;
    int high;
};
constexpr Range kFramesPerSec{1, 32};
constexpr Range kPercentChange{0, 100};

// Widths in dialog units: the number boxes and the copyright owner.
constexpr int kNumberBoxWidth = 28;
constexpr int kCopyrightWidth = 120;

// The number a box's text begins with, as the slider follows it: 0 when there is none.
long LeadingNumber(const wxString& text) {
    return std::strtol(ToUtf8(text).c_str(), nullptr, 10);
}

void ShowNumber(wxTextCtrl* box, int number) {
    box->SetValue(wxString::Format("%d", number));
}

}  // namespace

CDlgGeneral::CDlgGeneral(wxWindow* book) : ConfigPage(book, "configure/video.html") {
    const int gap = DialogGap(this);
    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(MakeFramesGroup(), 0, wxEXPAND);
    content->Add(MakeCopyrightRow(), 0, wxEXPAND | wxTOP, 2 * gap);
    content->Add(MakeDropGroup(), 0, wxEXPAND | wxTOP, 2 * gap);
    content->Add(MakeSortGroup(), 0, wxEXPAND | wxTOP, 2 * gap);
    SetPageContent(content);

    slider_->Bind(wxEVT_SLIDER, &CDlgGeneral::OnSlider, this);
    frames_.box->Bind(wxEVT_TEXT, &CDlgGeneral::OnFramesText, this);
    percent_.box->Bind(wxEVT_TEXT, &CDlgGeneral::OnPercentText, this);
}

CDlgGeneral::NumberBox CDlgGeneral::AddNumberBox(wxStaticBoxSizer* group, int boxId, int spinId) {
    wxWindow* parent = group->GetStaticBox();
    const int gap = DialogGap(this);
    auto* box = new wxTextCtrl(parent, boxId, wxEmptyString, wxDefaultPosition,
                               wxSize(DialogUnitsX(this, kNumberBoxWidth), -1), wxTE_RIGHT);
    auto* spin = new wxSpinButton(parent, spinId, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL | wxSP_ARROW_KEYS);
    AcceptDigitsOnly(box);
    spin->Bind(wxEVT_SPIN, [box](wxSpinEvent& event) { ShowNumber(box, event.GetPosition()); });
    // The arrow keys in the box step the value, as the up-down's own arrows do.
    box->Bind(wxEVT_KEY_DOWN, [box, spin](wxKeyEvent& key) {
        const int step = key.GetKeyCode() == WXK_UP ? 1 : key.GetKeyCode() == WXK_DOWN ? -1 : 0;
        if (step == 0) {
            key.Skip();
            return;
        }
        ShowNumber(box, std::clamp(spin->GetValue() + step, spin->GetMin(), spin->GetMax()));
    });
    group->Add(box, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM, gap);
    group->Add(spin, 0, wxALIGN_CENTER_VERTICAL | wxALL, gap);
    return {box, spin};
}

wxSizer* CDlgGeneral::MakeFramesGroup() {
    auto* group = new wxStaticBoxSizer(wxHORIZONTAL, this, "&Frames per Second");
    slider_ = new wxSlider(group->GetStaticBox(), IDC_FRAME_SLIDER, kFramesPerSec.low, kFramesPerSec.low,
                           kFramesPerSec.high);
    group->Add(slider_, 1, wxALIGN_CENTER_VERTICAL | wxALL, DialogGap(this));
    frames_ = AddNumberBox(group, IDC_FRAMES_PER_SEC, IDC_FRAMES_SPIN);
    return group;
}

wxSizer* CDlgGeneral::MakeCopyrightRow() {
    copyrightLabel_ = new wxStaticText(this, IDC_COPYRIGHT_LABEL, FromUtf8(CopyrightLabel(wxDateTime::Now().GetYear())));
    copyright_ = new wxTextCtrl(this, IDC_COPYRIGHT, wxEmptyString, wxDefaultPosition,
                                wxSize(DialogUnitsX(this, kCopyrightWidth), -1));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(copyrightLabel_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, DialogGap(this));
    row->Add(copyright_, 1, wxALIGN_CENTER_VERTICAL);
    return row;
}

wxSizer* CDlgGeneral::MakeDropGroup() {
    auto* group = new wxStaticBoxSizer(wxHORIZONTAL, this, "&Drop Identical Frames");
    group->AddSpacer(DialogGap(this));
    percent_ = AddNumberBox(group, IDC_PERCENT_CHANGE, IDC_PERCENT_SPIN);
    group->Add(new wxStaticText(group->GetStaticBox(), wxID_ANY, "Percentage Change"), 0, wxALIGN_CENTER_VERTICAL);
    return group;
}

wxSizer* CDlgGeneral::MakeSortGroup() {
    const int gap = DialogGap(this);
    auto* group = new wxStaticBoxSizer(wxVERTICAL, this, "File Sorting");
    auto* radios = new wxGridSizer(2, 0, 4 * gap);
    sortOrder_ = std::make_unique<RadioGroup>(group->GetStaticBox(),
                                              std::initializer_list<RadioGroup::Choice>{
                                                  {IDC_SORT_FIRST, "File Last Modified Time"},
                                                  {IDC_SORT_FIRST + 1, "File Creation Time"},
                                                  {IDC_SORT_FIRST + 2, "Alphabetically A-Z"},
                                                  {IDC_SORT_FIRST + 3, "Alphabetically Z-A"}},
                                              radios);
    group->Add(radios, 0, wxALL, gap);
    return group;
}

CDlgGeneral::~CDlgGeneral() = default;

std::string CDlgGeneral::CopyrightLabel(int year) {
    return "Copyright \xC2\xA9 " + std::to_string(year);
}

void CDlgGeneral::Initialise() {
    frames_.spin->SetRange(kFramesPerSec.low, kFramesPerSec.high);
    percent_.spin->SetRange(kPercentChange.low, kPercentChange.high);
    copyright_->ChangeValue(FromUtf8(settings_.Copyright));
    sortOrder_->SetValue(settings_.JPGSortOrder);
    // The boxes show what the settings hold, also a value out of range from an edited file;
    // the slider and the up-downs keep to their ranges.
    ShowNumber(frames_.box, settings_.FramesPerSec);
    slider_->SetValue(std::clamp(settings_.FramesPerSec, kFramesPerSec.low, kFramesPerSec.high));
    ShowNumber(percent_.box, settings_.MotionDeviation);
}

void CDlgGeneral::OnSlider(wxCommandEvent&) {
    ShowNumber(frames_.box, slider_->GetValue());
}

void CDlgGeneral::OnFramesText(wxCommandEvent&) {
    const long value = LeadingNumber(frames_.box->GetValue());
    if (value > 0) {
        const int position = static_cast<int>(std::min<long>(value, kFramesPerSec.high));
        slider_->SetValue(position);
        frames_.spin->SetValue(position);
    }
}

void CDlgGeneral::OnPercentText(wxCommandEvent&) {
    const long value = LeadingNumber(percent_.box->GetValue());
    percent_.spin->SetValue(static_cast<int>(std::clamp<long>(value, kPercentChange.low, kPercentChange.high)));
}

bool CDlgGeneral::CheckValues(Refusal& refusal) {
    const struct {
        wxTextCtrl* box;
        Range range;
        int& value;
    } numbers[] = {{frames_.box, kFramesPerSec, framesValue_}, {percent_.box, kPercentChange, percentValue_}};
    for (const auto& number : numbers) {
        if (!ReadIntegerBox(ToUtf8(number.box->GetValue()), number.range.low, number.range.high, number.value,
                            refusal.message)) {
            refusal.control = number.box;
            return false;
        }
    }
    return true;
}

void CDlgGeneral::Store() {
    WriteSettingText("Config", "Copyright", ToUtf8(copyright_->GetValue()).c_str());
    WriteSettingInt("Config", "JPGSortOrder", sortOrder_->GetValue());
    WriteSettingInt("Config", "FramesPerSec", framesValue_);
    WriteSettingInt("Detect", "MotionDeviation", percentValue_);
}
