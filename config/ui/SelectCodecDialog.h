#pragma once
// The "Select Codec" dialog: the compressors that accept the first image of a new AVI, its
// quality and key-frame interval, a compressor's own options, and "Always use this Codec". The
// rules live in CodecChoice; the dialog shows its state and hands the controls back on OK.

#include <wx/dialog.h>

#include "engine/CodecChoice.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxSlider;
class wxStaticText;
class wxTextCtrl;
struct ICOPTION;

class SelectCodecDialog : public wxDialog {
public:
    /// The dialog for the request; its remembered compressor, quality and key-frame interval
    /// come from the request's options.
    SelectCodecDialog(wxWindow* parent, CodecRequest& request);

    /// Loads the sample and fills the controls; false when the sample does not load (the box
    /// "Error. Failed to open <path>" has been shown and the dialog must not run).
    bool Initialise();
    /// What OK does: fills the request from the controls and answers true, or shows why the
    /// key-frame box is refused and answers false, the dialog staying open.
    bool Accept();

    const CodecChoice& Choice() const { return choice_; }

private:
    wxSizer* MakeControls();
    wxSizer* MakeButtons();
    void ShowView();
    void OnSelect(wxCommandEvent& event);
    void OnSlider(wxCommandEvent& event);
    void OnConfigure(wxCommandEvent& event);
    void OnOk(wxCommandEvent& event);

    CodecRequest& request_;
    CodecChoice choice_;
    wxChoice* list_;
    wxStaticText* qualityLabel_;
    wxSlider* quality_;
    wxStaticText* percent_;
    wxCheckBox* alwaysUse_;
    wxTextCtrl* keyFrames_;
    wxButton* configure_;
};

/// Shows a compressor's own options (one choice list per option) and answers 1 when confirmed,
/// with the chosen entries in the options; the compressor registry calls this for "Configure".
int RunCodecOptionsDialog(void* owner, const char* description, ICOPTION* options, int count);

/// Has the compressors keep their own options in the settings file of the moment and show them
/// with RunCodecOptionsDialog; done before each Select Codec.
void PrepareCompressorOptions();
