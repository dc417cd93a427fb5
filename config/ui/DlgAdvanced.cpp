#include "config/ui/DlgAdvanced.h"

#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/statbox.h>

#include "config/ui/ControlIds.h"
#include "config/ui/DialogLayout.h"
#include "config/ui/RadioGroup.h"

CDlgAdvanced::CDlgAdvanced(wxWindow* book) : ConfigPage(book, "configure/advanced.html") {
    const int gap = DialogGap(this);
    auto* scale = new wxStaticBoxSizer(wxVERTICAL, this, "Scale Style");
    auto* radios = new wxBoxSizer(wxVERTICAL);
    scaleStyle_ = std::make_unique<RadioGroup>(scale->GetStaticBox(),
                                               std::initializer_list<RadioGroup::Choice>{
                                                   {IDC_SLOW_SCALING, "&Slow/High Quality"},
                                                   {IDC_FAST_SCALING, "&Fast/Low Quality"}},
                                               radios);
    scale->Add(radios, 0, wxALL, gap);

    auto* checks = new wxBoxSizer(wxVERTICAL);
    auto check = [&](int id, const char* label) {
        auto* box = new wxCheckBox(this, id, FromUtf8(label));
        checks->Add(box, 0, wxTOP, gap);
        return box;
    };
    autoStop_ = check(IDC_AUTO_STOP, "&Auto Shut Down");
    writeCopyright_ = check(IDC_WRITE_COPYRIGHT, "&Output Copyright Information");
    displayFileNames_ = check(IDC_DISPLAY_FILE_NAMES, "&Write File Names");
    displayToolTips_ = check(IDC_DISPLAY_TOOL_TIPS, "&Display Tool Tips");

    auto* content = new wxBoxSizer(wxVERTICAL);
    content->Add(scale, 0);
    content->Add(checks, 0, wxTOP, gap);
    SetPageContent(content);
}

CDlgAdvanced::~CDlgAdvanced() = default;

void CDlgAdvanced::Initialise() {
    autoStop_->SetValue(settings_.AutoStop != 0);
    scaleStyle_->SetValue(settings_.ScaleType);
    displayFileNames_->SetValue(settings_.DisplayFileNames != 0);
    displayToolTips_->SetValue(settings_.DisplayToolTips != 0);
    writeCopyright_->SetValue(settings_.WriteCopyright != 0);
}

void CDlgAdvanced::Store() {
    WriteSettingInt("Detect", "AutoStop", autoStop_->GetValue() ? 1 : 0);
    WriteSettingInt("Detect", "ScaleType", scaleStyle_->GetValue());
    WriteSettingInt("Detect", "DisplayFileNames", displayFileNames_->GetValue() ? 1 : 0);
    WriteSettingInt("Config", "DisplayToolTips", displayToolTips_->GetValue() ? 1 : 0);
    WriteSettingInt("Config", "WriteCopyright", writeCopyright_->GetValue() ? 1 : 0);
}
