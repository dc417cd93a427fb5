#pragma once
// The "Video" page: the frame rate of the output, the copyright owner written into it, the
// "Drop Identical Frames" threshold and the order of the file list.

#include <memory>

#include "config/ui/ConfigPage.h"

class RadioGroup;
class wxSlider;
class wxSpinButton;
class wxStaticBoxSizer;
class wxStaticText;
class wxTextCtrl;

class CDlgGeneral : public ConfigPage {
public:
    explicit CDlgGeneral(wxWindow* book);
    ~CDlgGeneral() override;

    bool CheckValues(Refusal& refusal) override;
    void Store() override;

    /// The copyright label for a year: "Copyright ©", a blank and the year.
    static std::string CopyrightLabel(int year);

private:
    /// A digits-only number box with its up-down beside it.
    struct NumberBox {
        wxTextCtrl* box = nullptr;
        wxSpinButton* spin = nullptr;
    };

    wxSizer* MakeFramesGroup();
    wxSizer* MakeCopyrightRow();
    wxSizer* MakeDropGroup();
    wxSizer* MakeSortGroup();
    /// Adds a number box and its up-down to the group: the up-down, and the arrow keys in the
    /// box, step the box's number.
    NumberBox AddNumberBox(wxStaticBoxSizer* group, int boxId, int spinId);
    void Initialise() override;
    void OnSlider(wxCommandEvent& event);
    void OnFramesText(wxCommandEvent& event);
    void OnPercentText(wxCommandEvent& event);

    wxSlider* slider_;
    NumberBox frames_;
    wxStaticText* copyrightLabel_;
    wxTextCtrl* copyright_;
    NumberBox percent_;
    std::unique_ptr<RadioGroup> sortOrder_;

    // The values CheckValues took from the boxes, which Store writes.
    int framesValue_ = 0;
    int percentValue_ = 0;
};
