#pragma once
// The "Advanced" page: the scaling quality, shutting down after processing, what goes into the
// AVI besides the frames, and the main window's tool tips.

#include <memory>

#include "config/ui/ConfigPage.h"

class RadioGroup;
class wxCheckBox;

class CDlgAdvanced : public ConfigPage {
public:
    // Control ids of the page's template.
    enum {
        IDC_AUTO_STOP = 1031,
        IDC_FAST_SCALING = 1032,
        IDC_SLOW_SCALING = 1033,
        IDC_DISPLAY_FILE_NAMES = 1034,
        IDC_DISPLAY_TOOL_TIPS = 1035,
        IDC_WRITE_COPYRIGHT = 1036,
    };

    explicit CDlgAdvanced(wxWindow* book);
    ~CDlgAdvanced() override;

    void Store() override;

private:
    void Initialise() override;

    std::unique_ptr<RadioGroup> scaleStyle_;
    wxCheckBox* autoStop_;
    wxCheckBox* writeCopyright_;
    wxCheckBox* displayFileNames_;
    wxCheckBox* displayToolTips_;
};
