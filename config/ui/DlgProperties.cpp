#include "config/ui/DlgProperties.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dirdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstring>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kSuffixes[] = {"jpg", "bmp", "tif", "tga", "gif", "png", "ico", "*"};

// Widths in dialog units: the directory and name boxes, the "..." buttons, the suffix box and
// the codec name line.
constexpr int kPathBoxWidth = 150;
constexpr int kBrowseWidth = 16;
constexpr int kSuffixWidth = 50;
constexpr int kCodecNameWidth = 120;

std::string ShowFolderDialog(wxWindow* parent, const std::string& start) {
    wxDirDialog dialog(parent, FromUtf8(LoadStringText(IDS_CHOOSE_INPUT_DIR)), FromUtf8(start),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return {};
    return ToUtf8(dialog.GetPath());
}

CDlgProperties::FolderChooser gFolderChooser = &ShowFolderDialog;

wxCheckBox* TextLeftCheckBox(wxWindow* parent, int id, const char* label) {
    return new wxCheckBox(parent, id, FromUtf8(label), wxDefaultPosition, wxDefaultSize, wxALIGN_RIGHT);
}

void SetTicked(wxCheckBox* box, int value) {
    box->SetValue(value != 0);
}

int Ticked(const wxCheckBox* box) {
    return box->GetValue() ? 1 : 0;
}

}  // namespace

void CDlgProperties::SetFolderChooser(FolderChooser chooser) {
    gFolderChooser = chooser ? chooser : &ShowFolderDialog;
}

CDlgProperties::CDlgProperties(wxWindow* book) : ConfigPage(book, "configure/configure.html") {
    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(MakePathRows(), 0, wxEXPAND);
    content->Add(MakeOptionGrid(), 0, wxTOP, 3 * DialogGap(this));
    SetPageContent(content);
    inputDir_->Bind(wxEVT_KILL_FOCUS, &CDlgProperties::OnInputLeft, this);
}

wxSizer* CDlgProperties::MakePathRows() {
    const int gap = DialogGap(this);
    auto* rows = new wxFlexGridSizer(3, gap, gap);
    rows->AddGrowableCol(1);
    // One row: the label on the right of its column, the box (as wide as the column, or as
    // wide as it is), and the "..." button or nothing.
    auto addRow = [&](const char* label, wxWindow* box, int boxFlags, int browseId,
                      void (CDlgProperties::*onBrowse)(wxCommandEvent&)) {
        rows->Add(new wxStaticText(this, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxALIGN_RIGHT), 0,
                  wxALIGN_RIGHT | wxALIGN_CENTER_VERTICAL);
        rows->Add(box, 0, boxFlags);
        if (!onBrowse) {
            rows->AddSpacer(0);
            return;
        }
        auto* browse = new wxButton(this, browseId, "...", wxDefaultPosition,
                                    wxSize(DialogUnitsX(this, kBrowseWidth), -1), wxBU_EXACTFIT);
        browse->Bind(wxEVT_BUTTON, onBrowse, this);
        rows->Add(browse, 0, wxALIGN_CENTER_VERTICAL);
    };
    const wxSize pathBox(DialogUnitsX(this, kPathBoxWidth), -1);
    inputDir_ = new wxTextCtrl(this, IDC_INPUT_DIR, wxEmptyString, wxDefaultPosition, pathBox);
    outputDir_ = new wxTextCtrl(this, IDC_OUTPUT_DIR, wxEmptyString, wxDefaultPosition, pathBox);
    videoFile_ = new wxTextCtrl(this, IDC_VIDEO_FILE, wxEmptyString, wxDefaultPosition, pathBox);
    wxArrayString suffixes;
    for (const char* suffix : kSuffixes)
        suffixes.Add(suffix);
    suffix_ = new wxComboBox(this, IDC_SUFFIX, wxEmptyString, wxDefaultPosition,
                             wxSize(DialogUnitsX(this, kSuffixWidth), -1), suffixes, wxCB_DROPDOWN);
    addRow("&Input Directory", inputDir_, wxEXPAND, IDC_INPUT_BROWSE, &CDlgProperties::OnInputBrowse);
    addRow("&Output Directory", outputDir_, wxEXPAND, IDC_OUTPUT_BROWSE, &CDlgProperties::OnOutputBrowse);
    addRow("Output &File Name", videoFile_, wxEXPAND, wxID_ANY, nullptr);
    addRow("&Default file suffix", suffix_, 0, wxID_ANY, nullptr);
    return rows;
}

wxSizer* CDlgProperties::MakeOptionGrid() {
    const int gap = DialogGap(this);
    rememberCodec_ = TextLeftCheckBox(this, IDC_REMEMBER_CODEC, "&Use Last Codec");
    codecName_ = new wxStaticText(this, IDC_CODEC_NAME, "Codec name", wxDefaultPosition,
                                  wxSize(DialogUnitsX(this, kCodecNameWidth), -1),
                                  wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    autoPopulate_ = TextLeftCheckBox(this, IDC_AUTO_POPULATE, "&Auto fill file list");
    autoSelect_ = TextLeftCheckBox(this, IDC_AUTO_SELECT, "Auto &select file list");
    overwrite_ = TextLeftCheckBox(this, IDC_OVERWRITE, "Overwrite Output File");
    autoProcess_ = TextLeftCheckBox(this, IDC_AUTO_PROCESS, "Auto &process");

    // Check boxes with their texts on the left, in two columns; the codec name stands beside
    // "Use Last Codec".
    auto* grid = new wxFlexGridSizer(2, 2 * gap, 4 * gap);
    grid->Add(rememberCodec_, 0, wxALIGN_RIGHT);
    grid->Add(codecName_, 0, wxALIGN_CENTER_VERTICAL);
    for (wxCheckBox* box : {autoPopulate_, autoSelect_, overwrite_, autoProcess_})
        grid->Add(box, 0, wxALIGN_RIGHT);
    return grid;
}

void CDlgProperties::Initialise() {
    inputDir_->ChangeValue(FromUtf8(settings_.JPGDir));
    videoFile_->ChangeValue(FromUtf8(settings_.VideoFile));
    outputDir_->ChangeValue(FromUtf8(settings_.OutputPath));
    SetTicked(rememberCodec_, settings_.RememberCodec);
    suffix_->SetValue(FromUtf8(settings_.JPGSuffix));
    SetTicked(autoPopulate_, settings_.AutoPopulate);
    SetTicked(overwrite_, settings_.Overwrite);
    // The name may hold '&', which a label would take for a mnemonic.
    codecName_->SetLabelText(FromUtf8(settings_.CodecName));
    codecName_->SetToolTip(FromUtf8(settings_.CodecName));
    SetTicked(autoProcess_, settings_.AutoProcess);
    SetTicked(autoSelect_, settings_.AutoSelect);
}

void CDlgProperties::Store() {
    WriteSettingInt("Config", "AutoPopulate", Ticked(autoPopulate_));
    WriteSettingText("Config", "JPGDir", ToUtf8(inputDir_->GetValue()).c_str());
    WriteSettingText("Config", "JPGSuffix", ToUtf8(suffix_->GetValue()).c_str());
    WriteSettingText("Config", "OutputPath", ToUtf8(outputDir_->GetValue()).c_str());
    WriteSettingInt("Config", "RememberCodec", Ticked(rememberCodec_));
    WriteSettingText("Config", "VideoFile", ToUtf8(videoFile_->GetValue()).c_str());
    WriteSettingInt("Config", "AutoProcess", Ticked(autoProcess_));
    WriteSettingInt("Config", "AutoSelect", Ticked(autoSelect_));
    WriteSettingInt("Detect", "Overwrite", Ticked(overwrite_));
}

bool CDlgProperties::ChooseFolder(wxTextCtrl* box) {
    // The separator rules work in place on a text with room for one more character.
    std::string start = ToUtf8(box->GetValue());
    RemoveTrailingSeparator(start.data());
    start.resize(std::strlen(start.c_str()));
    std::string chosen = gFolderChooser(this, start);
    if (chosen.empty())
        return false;
    const size_t length = chosen.size();
    chosen.resize(length + 2);
    AddTrailingSeparator(chosen.data(), chosen.size());
    chosen.resize(std::strlen(chosen.c_str()));
    box->ChangeValue(FromUtf8(chosen));
    return true;
}

void CDlgProperties::OnInputBrowse(wxCommandEvent&) {
    if (ChooseFolder(inputDir_))
        ApplyOutputRule();
}

void CDlgProperties::OnOutputBrowse(wxCommandEvent&) {
    // Only the output box changes: what was typed into the other boxes stays.
    ChooseFolder(outputDir_);
}

void CDlgProperties::OnInputLeft(wxFocusEvent& event) {
    ApplyOutputRule();
    event.Skip();
}

void CDlgProperties::ApplyOutputRule() {
    if (outputDir_->GetValue().empty())
        outputDir_->ChangeValue(inputDir_->GetValue());
}
