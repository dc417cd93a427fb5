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
    // Control ids of the page's template.
    enum {
        IDC_CODEC_NAME = 1007,
        IDC_INPUT_DIR = 1008,
        IDC_INPUT_BROWSE = 1009,
        IDC_SUFFIX = 1012,
        IDC_OUTPUT_DIR = 1014,
        IDC_OUTPUT_BROWSE = 1015,
        IDC_VIDEO_FILE = 1016,
        IDC_REMEMBER_CODEC = 1055,
        IDC_AUTO_POPULATE = 1056,
        IDC_AUTO_SELECT = 1057,
        IDC_AUTO_PROCESS = 1058,
        IDC_OVERWRITE = 1059,
    };

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
