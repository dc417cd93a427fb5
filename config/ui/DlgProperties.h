#pragma once
// The "Configure" page: where the input images come from, where the output goes, what the output
// file is called and how the program behaves at start-up.

#include <string>

#include "config/ui/ConfigPage.h"

class wxCheckBox;
class wxComboBox;
class wxStaticText;
class wxTextCtrl;

class CDlgProperties : public ConfigPage {
public:
    explicit CDlgProperties(wxWindow* book);

    void Store() override;

    /// The folder chooser the directory buttons run: starts in the directory (without its final
    /// '/') and, when a folder was chosen, replaces the text with it, ending in '/'. Tests replace
    /// it to answer without a dialog; the answer is the chosen folder or "" for a cancel.
    using FolderChooser = std::string (*)(wxWindow* parent, const std::string& start);
    static void SetFolderChooser(FolderChooser chooser);

private:
    wxSizer* MakePathRows();
    wxSizer* MakeOptionGrid();
    void Initialise() override;
    void OnInputBrowse(wxCommandEvent& event);
    void OnOutputBrowse(wxCommandEvent& event);
    void OnInputLeft(wxFocusEvent& event);
    /// An empty output directory takes the input directory as typed.
    void ApplyOutputRule();
    bool ChooseFolder(wxTextCtrl* box);

    wxTextCtrl* inputDir_;
    wxTextCtrl* outputDir_;
    wxTextCtrl* videoFile_;
    wxComboBox* suffix_;
    wxCheckBox* rememberCodec_;
    wxStaticText* codecName_;
    wxCheckBox* autoPopulate_;
    wxCheckBox* overwrite_;
    wxCheckBox* autoSelect_;
    wxCheckBox* autoProcess_;
};
