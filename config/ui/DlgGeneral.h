#pragma once
// The "Video" page: the frame rate of the output, the copyright owner written into it, the
// "Drop Identical Frames" threshold and the order of the file list.

#include <memory>

#include "config/ui/ConfigPage.h"

class RadioGroup;
class wxSlider;
class wxSpinButton;
class wxSpinEvent;
class wxStaticBoxSizer;
class wxStaticText;
class wxTextCtrl;

class CDlgGeneral : public ConfigPage {
public:
    // Control ids of the page's template.
    enum {
        IDC_PERCENT_CHANGE = 1006,
        IDC_SORT_FIRST = 1010,  // 1010 to 1013: the four sort orders
        IDC_FRAMES_PER_SEC = 1017,
        IDC_FRAME_SLIDER = 1018,
        IDC_FRAMES_SPIN = 1024,
        IDC_PERCENT_SPIN = 1025,
        IDC_COPYRIGHT_LABEL = 1028,
        IDC_COPYRIGHT = 1029,
    };

    explicit CDlgGeneral(wxWindow* book);
    ~CDlgGeneral() override;

    bool CheckValues(Refusal& refusal) override;
    void Store() override;

    /// The copyright label for a year: "Copyright ©", a blank and the year.
    static std::string CopyrightLabel(int year);

private:
    wxSizer* MakeFramesGroup();
    wxSizer* MakeCopyrightRow();
    wxSizer* MakeDropGroup();
    wxSizer* MakeSortGroup();
    /// A digits-only number box with its up-down beside it, added to the group.
    void AddNumberBox(wxStaticBoxSizer* group, int boxId, int spinId, wxTextCtrl*& box, wxSpinButton*& spin);
    void Initialise() override;
    void OnSlider(wxCommandEvent& event);
    void OnFramesText(wxCommandEvent& event);
    void OnPercentText(wxCommandEvent& event);
    void OnFramesSpin(wxSpinEvent& event);
    void OnPercentSpin(wxSpinEvent& event);

    wxSlider* slider_;
    wxTextCtrl* framesPerSec_;
    wxSpinButton* framesSpin_;
    wxStaticText* copyrightLabel_;
    wxTextCtrl* copyright_;
    wxTextCtrl* percentChange_;
    wxSpinButton* percentSpin_;
    std::unique_ptr<RadioGroup> sortOrder_;

    // The values CheckValues took from the boxes, which Store writes.
    int framesValue_ = 0;
    int percentValue_ = 0;
};
