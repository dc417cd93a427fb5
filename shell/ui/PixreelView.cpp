#include "shell/ui/PixreelView.h"

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/dnd.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/valtext.h>

#include <cstdlib>

#include "config/ui/Dialogs.h"
#include "engine/ConversionView.h"
#include "engine/ImageFile.h"
#include "engine/PixreelDoc.h"
#include "platform/DataFiles.h"
#include "platform/MessageBox.h"
#include "platform/WinTypes.h"
#include "shell/ConsoleFrontEnd.h"
#include "shell/WindowCalls.h"
#include "shell/ui/FileListCtrl.h"
#include "shell/ui/GuiServices.h"
#include "shell/ui/Icons.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/PictureBox.h"
#include "shell/ui/StatusLogCtrl.h"

namespace {

constexpr const char* kEnterInteger = "Please enter an integer.";
// How long a closed window waits for a worker to stop before it completes the output without
// it, and how long it then waits for the writer to come free.
constexpr auto kStuckWorkerPatience = std::chrono::seconds(10);
constexpr auto kStuckWriterWait = std::chrono::seconds(30);

wxBitmapBundle Icon(const char* name) {
    return ProgramIcon(name, kIndicatorIconSize);
}

// Files dropped anywhere on the form.
class FormDropTarget : public wxFileDropTarget {
public:
    explicit FormDropTarget(CPixreelView& view) : view_(view) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
        std::vector<std::string> paths;
        for (const wxString& name : names)
            paths.push_back(name.utf8_string());
        view_.DropFiles(paths);
        return true;
    }

private:
    CPixreelView& view_;
};

wxRect ToWx(const LayoutRect& r) {
    return wxRect(r.x, r.y, r.width, r.height);
}

}  // namespace

CPixreelView::CPixreelView(CMainFrame* frame, std::shared_ptr<WindowCalls> calls)
    : wxPanel(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL),
      frame_(frame),
      calls_(std::move(calls)),
      minimiseTimer_(this, kMinimiseTimerId) {
    services_ = std::make_unique<GuiServices>(*this, *frame, calls_);
    doc_ = std::make_unique<CPixreelDoc>(*services_);
    conversion_ = std::make_unique<CConversionView>(*services_, *doc_);
    CreateControls();
    SetDropTarget(new FormDropTarget(*this));
    fileList_->SetDropTarget(new FormDropTarget(*this));
    Bind(wxEVT_SIZE, &CPixreelView::OnSize, this);
    Bind(wxEVT_TIMER, &CPixreelView::OnMinimiseTimer, this, kMinimiseTimerId);
}

CPixreelView::~CPixreelView() {
    ShutDown();
    conversion_.reset();
    doc_.reset();
}

void CPixreelView::ShutDown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    minimiseTimer_.Stop();
    if (!conversion_->Shutdown(kStuckWorkerPatience)) {
        // The window is closed but the worker has not come to a stop: it is stuck in a read that
        // never answers, or in a frame far too long. The output is completed as it stands,
        // between two frames, and the program ends without the worker rather than linger unseen.
        if (doc_->CloseForExit(kStuckWriterWait))
            std::_Exit(kExitInterrupted);
        conversion_->Shutdown();
    }
    // From here on nothing may reach the controls any more: calls still queued are dropped.
    calls_->Close();
}

// Controls and layout.

wxWindow* CPixreelView::CreateControl(const FormControlSpec& layout) {
    const wxPoint at = ConvertDialogToPixels(wxPoint(layout.dialogUnits.x, layout.dialogUnits.y));
    const wxSize size = ConvertDialogToPixels(wxSize(layout.dialogUnits.width, layout.dialogUnits.height));
    const wxString caption = wxString::FromUTF8(layout.caption);
    switch (layout.kind) {
    case ControlKind::FileList:
        return fileList_ = new CFileListCtrl(this, conversion_->Files(), at, size);
    case ControlKind::Label:
        return new wxStaticText(this, wxID_ANY, caption, at, size);
    case ControlKind::PictureBox:
        return (layout.id == FormControl::PreviewBox ? previewBox_ : videoBox_) =
                   new CPictureBox(this, caption, at, size);
    case ControlKind::IconBox:
        return (layout.id == FormControl::AviIndicator ? aviIndicator_ : activity_) = new CIconBox(this, at, size);
    case ControlKind::RadioFirst:
    case ControlKind::Radio: {
        auto* radio = new wxRadioButton(this, wxID_ANY, caption, at, size,
                                        layout.kind == ControlKind::RadioFirst ? wxRB_GROUP : 0);
        radio->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { OnStyleRadio(); });
        return radio;
    }
    case ControlKind::CheckBox: {
        auto* check = new wxCheckBox(this, wxID_ANY, caption, at, size);
        check->Bind(wxEVT_CHECKBOX, [this, id = layout.id](wxCommandEvent&) { OnCheckBox(id); });
        return check;
    }
    case ControlKind::DigitsEdit:
        return new wxTextCtrl(this, wxID_ANY, wxString(), at, size, 0, wxTextValidator(wxFILTER_DIGITS));
    case ControlKind::Slider: {
        auto* slider = new wxSlider(this, wxID_ANY, 0, 0, 1, at, size, wxSL_HORIZONTAL);
        slider->Bind(wxEVT_SCROLL_CHANGED, [this](wxScrollEvent&) { OnSliderReleased(); });
        return slider;
    }
    case ControlKind::StatusLog:
        return log_ = new CStatusLogCtrl(this, at, size);
    case ControlKind::GroupBox:
        return new wxStaticBox(this, wxID_ANY, caption, at, size);
    }
    return nullptr;
}

void CPixreelView::CreateControls() {
    // The group boxes come first, so that the controls inside them lie above them.
    for (bool groups : {true, false})
        for (const FormControlSpec& layout : FormControls())
            if ((layout.kind == ControlKind::GroupBox) == groups)
                controls_[static_cast<size_t>(layout.id)] = CreateControl(layout);

    previewBox_->OnClick([this] { ShowBitmapInformation(); });
    previewBox_->OnResized([this] { conversion_->m_CheckEvent.Set(); });
    videoBox_->OnResized([this] {
        services_->RequestVideoRedraw();
        conversion_->m_CheckEvent.Set();
    });
    aviIndicator_->OnClick([this] { frame_->RunCommand(ID_FILE_CLOSE_AVI); });
    fileList_->OnSelectionChanged([this] { conversion_->m_CheckEvent.Set(); });
    fileList_->OnContextMenuRequested([this](const wxPoint& at) { frame_->ShowFileListMenu(at); });
}

void CPixreelView::LayOut() {
    // Each control at its rectangle in dialog units of the form's font; a control whose content
    // needs more room on this desktop than the rectangle gives grows, staying centred on its row.
    for (const FormControlSpec& layout : FormControls()) {
        wxWindow* control = Control(layout.id);
        const wxPoint at = ConvertDialogToPixels(wxPoint(layout.dialogUnits.x, layout.dialogUnits.y));
        const wxSize size = ConvertDialogToPixels(wxSize(layout.dialogUnits.width, layout.dialogUnits.height));
        LayoutRect rect{at.x, at.y, size.GetWidth(), size.GetHeight()};
        switch (layout.kind) {
        case ControlKind::Label:
        case ControlKind::RadioFirst:
        case ControlKind::Radio:
        case ControlKind::CheckBox:
        case ControlKind::DigitsEdit:
        case ControlKind::Slider: {
            const wxSize best = control->GetBestSize();
            const bool fixedWidth = layout.kind == ControlKind::DigitsEdit || layout.kind == ControlKind::Slider;
            rect = GrownToFit(rect, fixedWidth ? rect.width : best.GetWidth(), best.GetHeight(),
                              HasNeighbourOnRight(layout.id));
            break;
        }
        default:
            break;
        }
        initialRects_[static_cast<size_t>(layout.id)] = rect;
        control->SetSize(ToWx(rect));
    }
    formSize_ = ConvertDialogToPixels(wxSize(kFormWidthDu, kFormHeightDu));
    laidOut_ = true;
}

void CPixreelView::OnSize(wxSizeEvent& event) {
    event.Skip();
    if (!laidOut_)
        return;
    const wxSize now = GetClientSize();
    const int dx = now.GetWidth() - formSize_.GetWidth();
    const int dy = now.GetHeight() - formSize_.GetHeight();
    for (const FormControlSpec& layout : FormControls()) {
        if (layout.anchor == kAnchorStay)
            continue;
        const LayoutRect rect = AnchoredRect(initialRects_[static_cast<size_t>(layout.id)], layout.anchor, dx, dy);
        Control(layout.id)->SetSize(ToWx(rect));
    }
}

// Start-up.

void CPixreelView::InitialUpdate() {
    // The form, the frame around it and the controls' ranges; the frame's first size is its
    // minimum.
    LayOut();
    static_cast<wxSlider*>(Control(FormControl::Brightness))->SetRange(kBrightnessMin, kBrightnessMax);
    static_cast<wxSlider*>(Control(FormControl::Contrast))->SetRange(kContrastMin, kContrastMax);
    frame_->SetClientSize(formSize_);
    frame_->SetMinSize(frame_->GetSize());

    fileList_->SetUpColumns();
    aviIndicator_->SetIcon(Icon("avi-closed.svg"));
    activity_->SetIcon(Icon("pixreel.svg"));
    ShowStartupImage();

    conversion_->InitialUpdate();
    FileListChanged(false);

    if (conversion_->CurrentSettings().FromCommandLine == 1)
        minimiseTimer_.StartOnce(kMinimiseDelayMs);
    ApplyToolTips();
    InitialiseHelp(frame_);
    // The focus starts where the form's tab order does: on the file list.
    fileList_->SetFocus();
}

void CPixreelView::ShowStartupImage() {
    services_->ShowStartupPicture(DataFilePath("pixreel.jpg"));
}

void CPixreelView::OnMinimiseTimer(wxTimerEvent&) {
    frame_->Iconize(true);
}

// The form.

void CPixreelView::ShowFormValues(const FormValues& values) {
    for (const FormControlSpec& layout : FormControls()) {
        if (!layout.value)
            continue;
        const int value = values.*layout.value;
        wxWindow* control = Control(layout.id);
        switch (layout.kind) {
        case ControlKind::CheckBox:
            static_cast<wxCheckBox*>(control)->SetValue(value != 0);
            break;
        case ControlKind::DigitsEdit:
            static_cast<wxTextCtrl*>(control)->ChangeValue(std::to_string(value));
            break;
        case ControlKind::Slider:
            static_cast<wxSlider*>(control)->SetValue(value);
            break;
        case ControlKind::RadioFirst:
            static_cast<wxRadioButton*>(control)->SetValue(value == 0);
            break;
        case ControlKind::Radio:
            static_cast<wxRadioButton*>(control)->SetValue(value != 0);
            break;
        default:
            break;
        }
    }
    ApplyEnablingRules();
}

void CPixreelView::ReadFormValues(FormValues& values) {
    for (FormControl id : FormReadingOrder()) {
        const FormControlSpec& layout = FormControlOf(id);
        wxWindow* control = Control(id);
        switch (layout.kind) {
        case ControlKind::CheckBox:
            values.*layout.value = static_cast<wxCheckBox*>(control)->GetValue() ? 1 : 0;
            break;
        case ControlKind::DigitsEdit: {
            int number = 0;
            if (!ParseFormInteger(static_cast<wxTextCtrl*>(control)->GetValue().utf8_str(), number)) {
                ShowMessageBox(kEnterInteger, "", MB_OK | MB_ICONEXCLAMATION);
                control->SetFocus();
                return;
            }
            values.*layout.value = number;
            break;
        }
        case ControlKind::Slider:
            values.*layout.value = static_cast<wxSlider*>(control)->GetValue();
            break;
        case ControlKind::RadioFirst:
            values.*layout.value = static_cast<wxRadioButton*>(control)->GetValue() ? 0 : 1;
            break;
        default:
            break;
        }
    }
}

void CPixreelView::ReadForm() {
    FormValues values = conversion_->Form();
    ReadFormValues(values);
    conversion_->SetForm(values);
}

void CPixreelView::ApplyEnablingRules(FormControl checkBox) {
    for (const FormControlSpec& layout : FormControls()) {
        if (layout.enabledBy == FormControl::None || (checkBox != FormControl::None && layout.enabledBy != checkBox))
            continue;
        Control(layout.id)->Enable(static_cast<wxCheckBox*>(Control(layout.enabledBy))->GetValue());
    }
}

void CPixreelView::OnCheckBox(FormControl id) {
    ReadForm();
    ApplyEnablingRules(id);
}

void CPixreelView::OnStyleRadio() {
    ReadForm();
    doc_->SetOutputStyle(conversion_->Form().AVIStyle);
}

void CPixreelView::OnSliderReleased() {
    ReadForm();
    // The preview shows the sliders' brightness and contrast whether or not they are switched on
    // for the video; the preview thread draws it.
    services_->RequestLightPreview(static_cast<wxSlider*>(Control(FormControl::Brightness))->GetValue(),
                                   static_cast<wxSlider*>(Control(FormControl::Contrast))->GetValue());
    conversion_->m_CheckEvent.Set();
}

void CPixreelView::ApplyToolTips() {
    const bool on = conversion_->CurrentSettings().DisplayToolTips != 0;
    for (const FormControlSpec& layout : FormControls()) {
        if (!layout.toolTip)
            continue;
        if (on)
            Control(layout.id)->SetToolTip(wxString::FromUTF8(layout.toolTip));
        else
            Control(layout.id)->UnsetToolTip();
    }
}

// Indicators and pictures.

void CPixreelView::ShowAviOpen(bool open) {
    aviIndicator_->SetIcon(Icon(open ? "avi-open.svg" : "avi-closed.svg"));
}

void CPixreelView::ShowActivity(bool odd) {
    activity_->SetIcon(Icon(odd ? "activity.svg" : "pixreel.svg"));
}

void CPixreelView::ShowBitmapInformation() {
    CImageFile image;
    {
        wxBusyCursor wait;
        if (!image.Load(conversion_->Files().ListDirectory() + services_->PreviewName()))
            return;
    }
    ::ShowBitmapInformation(frame_, &image);
    FormValues values = conversion_->Form();
    values.Brightness = 0;
    values.Contrast = static_cast<int>(image.MeanLevel());
    conversion_->SetForm(values);
    static_cast<wxSlider*>(Control(FormControl::Brightness))->SetValue(values.Brightness);
    static_cast<wxSlider*>(Control(FormControl::Contrast))->SetValue(values.Contrast);
    conversion_->m_CheckEvent.Set();
}

// The file list.

void CPixreelView::FileListChanged(bool requestPreview) {
    fileList_->SyncFromModel();
    if (requestPreview)
        conversion_->m_CheckEvent.Set();
}

void CPixreelView::DropFiles(const std::vector<std::string>& paths) {
    wxBusyCursor wait;
    if (conversion_->Files().FillFromDropped(paths, conversion_->CurrentSettings().JPGSortOrder))
        FileListChanged(false);
}
