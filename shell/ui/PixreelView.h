#pragma once
// CPixreelView: the main form. It builds its controls from the form's table, lays them out in
// dialog units and follows resizes with the table's anchors, shows and reads the form values,
// applies the enabling rules and the tool tips, and owns the document and the window-free view
// (CConversionView) that run the conversions, served through GuiServices.

#include <wx/panel.h>
#include <wx/timer.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "shell/FormLayout.h"

class CConversionView;
class CFileListCtrl;
class CIconBox;
class CMainFrame;
class CPictureBox;
class CPixreelDoc;
class CStatusLogCtrl;
class GuiServices;
class WindowCalls;
class wxWindow;
struct FormValues;

class CPixreelView : public wxPanel {
public:
    CPixreelView(CMainFrame* frame, std::shared_ptr<WindowCalls> calls);
    ~CPixreelView() override;

    /// The view's start-up: lays out the form and sizes the frame to it, sets up the list and
    /// the picture boxes, runs the conversion view's start-up, and starts the minimise timer of a
    /// command-line run; then the tool tips and the help system.
    void InitialUpdate();
    /// Stops the threads for good and closes the window queue (before the controls go).
    void ShutDown();

    CConversionView& Conversion() { return *conversion_; }
    /// The conversion view; none once the view is being destroyed.
    CConversionView* ConversionIfAny() { return conversion_.get(); }
    CPixreelDoc& Document() { return *doc_; }
    GuiServices& Services() { return *services_; }
    CFileListCtrl& FileListCtrl() { return *fileList_; }
    CStatusLogCtrl& StatusLog() { return *log_; }
    CPictureBox& PreviewBox() { return *previewBox_; }
    CPictureBox& VideoBox() { return *videoBox_; }
    wxWindow* Control(FormControl id) const { return controls_[static_cast<size_t>(id)]; }
    /// The form's size in pixels as first laid out.
    wxSize FormSize() const { return formSize_; }

    // The form.
    void ShowFormValues(const FormValues& values);
    /// Reads the controls in the form's reading order; a number field without an integer stops
    /// the reading with the box "Please enter an integer." and the focus on that field.
    void ReadFormValues(FormValues& values);
    /// Reads the form into the conversion view's values.
    void ReadForm();
    /// Enables the controls that depend on a check box; all of them when `checkBox` is None.
    void ApplyEnablingRules(FormControl checkBox = FormControl::None);
    /// Tool tips on or off as DisplayToolTips says.
    void ApplyToolTips();

    // Indicators and pictures (window thread).
    void ShowAviOpen(bool open);
    void ShowActivity(bool odd);
    /// A click on the preview box: the "Bitmap Information" box, then brightness 0 and contrast
    /// the picture's mean gray level.
    void ShowBitmapInformation();

    /// The file list changed outside the list control: show it, and ask for a preview.
    void FileListChanged(bool requestPreview);
    /// Files dropped on the form.
    void DropFiles(const std::vector<std::string>& paths);

private:
    void CreateControls();
    wxWindow* CreateControl(const FormControlSpec& layout);
    void LayOut();
    void OnSize(wxSizeEvent& event);
    void OnCheckBox(FormControl id);
    void OnStyleRadio();
    void OnSliderReleased();
    void ShowStartupImage();
    void OnMinimiseTimer(wxTimerEvent& event);

    CMainFrame* frame_;
    std::shared_ptr<WindowCalls> calls_;
    std::unique_ptr<GuiServices> services_;
    std::unique_ptr<CPixreelDoc> doc_;
    std::unique_ptr<CConversionView> conversion_;

    std::array<wxWindow*, static_cast<size_t>(FormControl::None)> controls_{};
    std::array<LayoutRect, static_cast<size_t>(FormControl::None)> initialRects_{};
    wxSize formSize_;
    bool laidOut_ = false;

    CFileListCtrl* fileList_ = nullptr;
    CStatusLogCtrl* log_ = nullptr;
    CPictureBox* previewBox_ = nullptr;
    CPictureBox* videoBox_ = nullptr;
    CIconBox* aviIndicator_ = nullptr;
    CIconBox* activity_ = nullptr;

    wxTimer minimiseTimer_;
    bool shutDown_ = false;
};

/// The identifier of the timer that minimises a command-line run's window.
inline constexpr int kMinimiseTimerId = 42;
inline constexpr int kMinimiseDelayMs = 2000;
