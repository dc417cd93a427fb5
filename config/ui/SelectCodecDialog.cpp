#include "config/ui/SelectCodecDialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "config/Settings.h"
#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "config/ui/NumberEdit.h"
#include "platform/Codecs.h"

namespace {

// The template is 198 by 139 dialog units; the list, the key-frame box and the percent text
// have these widths.
constexpr int kDialogWidth = 198;
constexpr int kDialogHeight = 139;
constexpr int kListWidth = 130;
constexpr int kKeyFramesWidth = 32;
constexpr int kPercentWidth = 22;
constexpr int kSliderMin = 1;
constexpr int kSliderMax = 100;

}  // namespace

void PrepareCompressorOptions() {
    ICSetConfigureHandler(&RunCodecOptionsDialog);
    char ini[kIniPathBytes] = "";
    if (SettingsFilePath(ini, sizeof ini, false))
        ICSetConfigFile(ini);
}

SelectCodecDialog::SelectCodecDialog(wxWindow* parent, CodecRequest& request)
    : wxDialog(parent, wxID_ANY, "Select Codec"), request_(request), choice_(*request.Options) {
    const int margin = DialogMargin(this);
    auto* box = new wxBoxSizer(wxHORIZONTAL);
    box->Add(MakeControls(), 1, wxEXPAND | wxALL, margin);
    box->Add(MakeButtons(), 0, wxEXPAND | wxTOP | wxRIGHT | wxBOTTOM, margin);
    box->SetMinSize(DialogUnits(this, kDialogWidth, kDialogHeight));
    SetSizerAndFit(box);
    CentreOnParent();

    list_->Bind(wxEVT_CHOICE, &SelectCodecDialog::OnSelect, this);
    quality_->Bind(wxEVT_SLIDER, &SelectCodecDialog::OnSlider, this);
    configure_->Bind(wxEVT_BUTTON, &SelectCodecDialog::OnConfigure, this);
    Bind(wxEVT_BUTTON, &SelectCodecDialog::OnOk, this, wxID_OK);
}

wxSizer* SelectCodecDialog::MakeControls() {
    const int gap = DialogGap(this);
    list_ = new wxChoice(this, IDC_CODEC_LIST, wxDefaultPosition, wxSize(DialogUnitsX(this, kListWidth), -1));
    qualityLabel_ = new wxStaticText(this, IDC_QUALITY_LABEL, "&Quality");
    quality_ = new wxSlider(this, IDC_QUALITY, kSliderMin, kSliderMin, kSliderMax);
    percent_ = new wxStaticText(this, IDC_PERCENT, "%", wxDefaultPosition,
                                wxSize(DialogUnitsX(this, kPercentWidth), -1), wxST_NO_AUTORESIZE);
    keyFrames_ = new wxTextCtrl(this, IDC_KEY_FRAMES, wxEmptyString, wxDefaultPosition,
                                wxSize(DialogUnitsX(this, kKeyFramesWidth), -1), wxTE_RIGHT);
    alwaysUse_ = new wxCheckBox(this, IDC_ALWAYS_USE, "Always use this Codec");
    AcceptDigitsOnly(keyFrames_);

    auto* qualityRow = new wxBoxSizer(wxHORIZONTAL);
    qualityRow->Add(qualityLabel_, 0, wxALIGN_CENTER_VERTICAL);
    qualityRow->Add(quality_, 1, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, gap);
    qualityRow->Add(percent_, 0, wxALIGN_CENTER_VERTICAL);
    auto* keyRow = new wxBoxSizer(wxHORIZONTAL);
    keyRow->Add(new wxStaticText(this, wxID_ANY, "Key frame every"), 0, wxALIGN_CENTER_VERTICAL);
    keyRow->Add(keyFrames_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, gap);
    keyRow->Add(new wxStaticText(this, wxID_ANY, "Frames"), 0, wxALIGN_CENTER_VERTICAL);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, "&Codec"));
    column->Add(list_, 0, wxEXPAND | wxTOP, gap / 2);
    column->Add(qualityRow, 0, wxEXPAND | wxTOP, 2 * gap);
    column->Add(keyRow, 0, wxTOP, 2 * gap);
    column->Add(alwaysUse_, 0, wxTOP, 2 * gap);
    return column;
}

wxSizer* SelectCodecDialog::MakeButtons() {
    const int gap = DialogGap(this);
    auto* ok = new wxButton(this, wxID_OK, "&OK");
    configure_ = new wxButton(this, IDC_CONFIGURE, "Confi&gure");
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(ok, 0, wxEXPAND);
    column->Add(new wxButton(this, wxID_CANCEL, "&Cancel"), 0, wxEXPAND | wxTOP, gap);
    column->Add(configure_, 0, wxEXPAND | wxTOP, gap);
    column->AddStretchSpacer();
    if (wxWindow* icon = ProgramIcon(this))
        column->Add(icon, 0, wxALIGN_CENTER_HORIZONTAL | wxTOP, gap);
    ok->SetDefault();
    return column;
}

bool SelectCodecDialog::Initialise() {
    PrepareCompressorOptions();
    if (!choice_.Start(request_.SampleFile))
        return false;
    for (const CodecListEntry& entry : choice_.Entries())
        list_->Append(FromUtf8(entry.name));
    ShowView();
    alwaysUse_->SetValue(choice_.View().alwaysUse);
    // The compressor is the first thing to choose; the focus goes there once the dialog shows,
    // which would otherwise give it to the default button.
    CallAfter([this] { list_->SetFocus(); });
    return true;
}

void SelectCodecDialog::ShowView() {
    const CodecDialogView& view = choice_.View();
    list_->SetSelection(static_cast<int>(view.selected));
    configure_->Enable(view.configureEnabled);
    quality_->SetValue(view.sliderPosition);
    percent_->SetLabel(FromUtf8(view.percentText));
    keyFrames_->Enable(view.keyFramesEnabled);
    keyFrames_->ChangeValue(FromUtf8(view.keyFramesText));
    for (wxWindow* control : {static_cast<wxWindow*>(qualityLabel_), static_cast<wxWindow*>(quality_),
                              static_cast<wxWindow*>(percent_)})
        control->Enable(view.qualityEnabled);
}

void SelectCodecDialog::OnSelect(wxCommandEvent&) {
    if (list_->GetSelection() == wxNOT_FOUND)
        return;
    choice_.Select(static_cast<size_t>(list_->GetSelection()));
    ShowView();
}

void SelectCodecDialog::OnSlider(wxCommandEvent&) {
    choice_.MoveSlider(quality_->GetValue());
    percent_->SetLabel(FromUtf8(choice_.View().percentText));
}

void SelectCodecDialog::OnConfigure(wxCommandEvent&) {
    choice_.Configure(static_cast<wxWindow*>(this));
}

bool SelectCodecDialog::Accept() {
    CodecDialogInput input;
    input.listText = ToUtf8(list_->GetStringSelection());
    input.sliderPosition = quality_->GetValue();
    input.alwaysUse = alwaysUse_->GetValue();
    input.keyFramesText = ToUtf8(keyFrames_->GetValue());
    const std::string refusal = choice_.Accept(input, request_);
    if (!refusal.empty()) {
        RefuseValue(keyFrames_, refusal);
        return false;
    }
    return true;
}

void SelectCodecDialog::OnOk(wxCommandEvent&) {
    if (Accept())
        EndModal(wxID_OK);
}

int RunSelectCodecDialog(wxWindow* parent, CodecRequest& request) {
    if (!request.Options)
        return 0;
    SelectCodecDialog dialog(parent, request);
    if (!dialog.Initialise())
        return 0;
    return dialog.ShowModal() == wxID_OK ? 1 : 0;
}
