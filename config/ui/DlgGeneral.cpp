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

#include "config/ui/DialogLayout.h"
#include "config/ui/NumberEdit.h"
#include "config/ui/RadioGroup.h"

namespace {

constexpr int kMinFramesPerSec = 1;
constexpr int kMaxFramesPerSec = 32;
constexpr int kMinPercent = 0;
constexpr int kMaxPercent = 100;

// Widths in dialog units: the number boxes and the copyright owner.
constexpr int kNumberBoxWidth = 28;
constexpr int kCopyrightWidth = 120;
constexpr int kGap = 4;

// The number a box's text begins with, as the slider follows it: 0 when there is none.
long LeadingNumber(const wxString& text) {
    return std::strtol(ToUtf8(text).c_str(), nullptr, 10);
}

}  // namespace

CDlgGeneral::CDlgGeneral(wxWindow* book) : ConfigPage(book, "configure/video.html") {
    const int gap = DialogUnitsX(this, kGap);
    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(MakeFramesGroup(), 0, wxEXPAND);
    content->Add(MakeCopyrightRow(), 0, wxEXPAND | wxTOP, 2 * gap);
    content->Add(MakeDropGroup(), 0, wxEXPAND | wxTOP, 2 * gap);
    content->Add(MakeSortGroup(), 0, wxEXPAND | wxTOP, 2 * gap);
    SetPageContent(content);

    slider_->Bind(wxEVT_SLIDER, &CDlgGeneral::OnSlider, this);
    framesPerSec_->Bind(wxEVT_TEXT, &CDlgGeneral::OnFramesText, this);
    percentChange_->Bind(wxEVT_TEXT, &CDlgGeneral::OnPercentText, this);
    framesSpin_->Bind(wxEVT_SPIN, &CDlgGeneral::OnFramesSpin, this);
    percentSpin_->Bind(wxEVT_SPIN, &CDlgGeneral::OnPercentSpin, this);
}

void CDlgGeneral::AddNumberBox(wxStaticBoxSizer* group, int boxId, int spinId, wxTextCtrl*& box,
                               wxSpinButton*& spin) {
    wxWindow* parent = group->GetStaticBox();
    const int gap = DialogUnitsX(this, kGap);
    box = new wxTextCtrl(parent, boxId, wxEmptyString, wxDefaultPosition,
                         wxSize(DialogUnitsX(this, kNumberBoxWidth), -1), wxTE_RIGHT);
    spin = new wxSpinButton(parent, spinId, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL | wxSP_ARROW_KEYS);
    AcceptDigitsOnly(box);
    // The arrow keys in the box step the value, as the up-down's own arrows do.
    box->Bind(wxEVT_KEY_DOWN, [box, spin](wxKeyEvent& key) {
        const int step = key.GetKeyCode() == WXK_UP ? 1 : key.GetKeyCode() == WXK_DOWN ? -1 : 0;
        if (step == 0) {
            key.Skip();
            return;
        }
        box->SetValue(wxString::Format("%d", std::clamp(spin->GetValue() + step, spin->GetMin(), spin->GetMax())));
    });
    group->Add(box, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM, gap);
    group->Add(spin, 0, wxALIGN_CENTER_VERTICAL | wxALL, gap);
}

wxSizer* CDlgGeneral::MakeFramesGroup() {
    auto* group = new wxStaticBoxSizer(wxHORIZONTAL, this, "&Frames per Second");
    slider_ = new wxSlider(group->GetStaticBox(), IDC_FRAME_SLIDER, kMinFramesPerSec, kMinFramesPerSec,
                           kMaxFramesPerSec);
    group->Add(slider_, 1, wxALIGN_CENTER_VERTICAL | wxALL, DialogUnitsX(this, kGap));
    AddNumberBox(group, IDC_FRAMES_PER_SEC, IDC_FRAMES_SPIN, framesPerSec_, framesSpin_);
    return group;
}

wxSizer* CDlgGeneral::MakeCopyrightRow() {
    copyrightLabel_ = new wxStaticText(this, IDC_COPYRIGHT_LABEL, FromUtf8(CopyrightLabel(wxDateTime::Now().GetYear())));
    copyright_ = new wxTextCtrl(this, IDC_COPYRIGHT, wxEmptyString, wxDefaultPosition,
                                wxSize(DialogUnitsX(this, kCopyrightWidth), -1));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(copyrightLabel_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, DialogUnitsX(this, kGap));
    row->Add(copyright_, 1, wxALIGN_CENTER_VERTICAL);
    return row;
}

wxSizer* CDlgGeneral::MakeDropGroup() {
    auto* group = new wxStaticBoxSizer(wxHORIZONTAL, this, "&Drop Identical Frames");
    group->AddSpacer(DialogUnitsX(this, kGap));
    AddNumberBox(group, IDC_PERCENT_CHANGE, IDC_PERCENT_SPIN, percentChange_, percentSpin_);
    group->Add(new wxStaticText(group->GetStaticBox(), wxID_ANY, "Percentage Change"), 0, wxALIGN_CENTER_VERTICAL);
    return group;
}

wxSizer* CDlgGeneral::MakeSortGroup() {
    const int gap = DialogUnitsX(this, kGap);
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
    framesSpin_->SetRange(kMinFramesPerSec, kMaxFramesPerSec);
    percentSpin_->SetRange(kMinPercent, kMaxPercent);
    copyright_->ChangeValue(FromUtf8(settings_.Copyright));
    sortOrder_->SetValue(settings_.JPGSortOrder);
    // The boxes show what the settings hold, also a value out of range from an edited file;
    // the slider and the up-downs keep to their ranges.
    framesPerSec_->SetValue(wxString::Format("%d", settings_.FramesPerSec));
    slider_->SetValue(std::clamp(settings_.FramesPerSec, kMinFramesPerSec, kMaxFramesPerSec));
    percentChange_->SetValue(wxString::Format("%d", settings_.MotionDeviation));
}

void CDlgGeneral::OnSlider(wxCommandEvent&) {
    framesPerSec_->SetValue(wxString::Format("%d", slider_->GetValue()));
}

void CDlgGeneral::OnFramesText(wxCommandEvent&) {
    const long value = LeadingNumber(framesPerSec_->GetValue());
    if (value > 0) {
        const int position = static_cast<int>(std::min<long>(value, kMaxFramesPerSec));
        slider_->SetValue(position);
        framesSpin_->SetValue(position);
    }
}

void CDlgGeneral::OnPercentText(wxCommandEvent&) {
    const long value = LeadingNumber(percentChange_->GetValue());
    percentSpin_->SetValue(static_cast<int>(std::clamp<long>(value, kMinPercent, kMaxPercent)));
}

void CDlgGeneral::OnFramesSpin(wxSpinEvent& event) {
    framesPerSec_->SetValue(wxString::Format("%d", event.GetPosition()));
}

void CDlgGeneral::OnPercentSpin(wxSpinEvent& event) {
    percentChange_->SetValue(wxString::Format("%d", event.GetPosition()));
}

bool CDlgGeneral::CheckValues(Refusal& refusal) {
    if (!ReadIntegerBox(ToUtf8(framesPerSec_->GetValue()), kMinFramesPerSec, kMaxFramesPerSec, framesValue_,
                        refusal.message)) {
        refusal.control = framesPerSec_;
        return false;
    }
    if (!ReadIntegerBox(ToUtf8(percentChange_->GetValue()), kMinPercent, kMaxPercent, percentValue_,
                        refusal.message)) {
        refusal.control = percentChange_;
        return false;
    }
    return true;
}

void CDlgGeneral::Store() {
    WriteSettingText("Config", "Copyright", ToUtf8(copyright_->GetValue()).c_str());
    WriteSettingInt("Config", "JPGSortOrder", sortOrder_->GetValue());
    WriteSettingInt("Config", "FramesPerSec", framesValue_);
    WriteSettingInt("Detect", "MotionDeviation", percentValue_);
}
