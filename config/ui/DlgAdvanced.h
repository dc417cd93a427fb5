#pragma once
// The "Advanced" page: the scaling quality, shutting down after processing, what goes into the
// AVI besides the frames, and the main window's tool tips.

#include <memory>

#include "config/ui/ConfigPage.h"

class RadioGroup;
class wxCheckBox;

class CDlgAdvanced : public ConfigPage {
public:
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
