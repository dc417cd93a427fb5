#include "shell/ui/GuiServices.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include "config/ui/Dialogs.h"
#include "engine/ConversionView.h"
#include "engine/FrameTransform.h"
#include "engine/StatusLog.h"
#include "platform/StringTable.h"
#include "shell/WindowCalls.h"
#include "shell/ui/FileListCtrl.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/PictureBox.h"
#include "shell/ui/PixreelView.h"
#include "shell/ui/StatusLogCtrl.h"

std::shared_ptr<WindowCalls> CreateWindowThreadCalls() {
    return WindowCalls::Create([](std::weak_ptr<WindowCalls> weak) {
        // The application object lives until every thread that posts has ended.
        if (wxTheApp)
            wxTheApp->CallAfter([weak] {
                if (std::shared_ptr<WindowCalls> calls = weak.lock())
                    calls->Drain();
            });
    });
}

GuiServices::GuiServices(CPixreelView& view, CMainFrame& frame, std::shared_ptr<WindowCalls> calls)
    : view_(view), frame_(frame), calls_(std::move(calls)) {}

// The status log. The log file's lock is held while a piece is queued, so the control receives
// the pieces in the order the file does; the window thread takes every queued piece at once.

void GuiServices::AppendLog(const std::string& text, bool red, bool lineEnd) {
    // The document outlives the conversion view by a moment at the very end; what it reports
    // then has no log to go to.
    if (CConversionView* conversion = view_.ConversionIfAny())
        conversion->LogFile().Append(text, red, lineEnd,
                                     [this](const std::string& t, bool r, bool e) { QueueLog(t, r, e); });
}

void GuiServices::QueueLog(const std::string& text, bool red, bool lineEnd) {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        first = pendingLog_.empty();
        pendingLog_.push_back({text, red, lineEnd});
    }
    if (first)
        calls_->Post([this] { FlushLog(); });
}

void GuiServices::FlushLog() {
    std::vector<LogPiece> pieces;
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        pieces.swap(pendingLog_);
    }
    for (const LogPiece& piece : pieces)
        view_.StatusLog().Append(piece.text, piece.red, piece.lineEnd);
}

// Status panes and indicators: posted, so that they show in the order they were asked for.

void GuiServices::SetPaneText(int paneId, const std::string& text) {
    calls_->Post([this, paneId, text] { frame_.SetPaneText(paneId, text); });
}

void GuiServices::SetElapsedSeconds(long seconds) {
    calls_->Post([this, seconds] { frame_.SetPaneText(ID_INDICATOR_TIME, FormatElapsedTime(seconds)); });
}

void GuiServices::ShowAviOpen(bool open) {
    calls_->Post([this, open] { view_.ShowAviOpen(open); });
}

void GuiServices::BlinkActivity() {
    ++blinks_;
    // Frames may come faster than the window draws: one pending update shows the latest state.
    if (!blinkQueued_.exchange(true)) {
        calls_->Post([this] {
            blinkQueued_ = false;
            view_.ShowActivity(blinks_ % 2 == 1);
        });
    }
}

void GuiServices::MarkConverted(const std::string&, int index) {
    calls_->Post([this, index] { view_.FileListCtrl().RefreshEntry(index); });
}

void GuiServices::EnableCloseAvi(bool enabled) {
    calls_->Post([this, enabled] { frame_.EnableCloseAvi(enabled); });
}

void GuiServices::SetWaitCursor(bool busy) {
    calls_->Post([busy] {
        if (busy)
            wxBeginBusyCursor();
        else if (wxIsBusy())
            wxEndBusyCursor();
    });
}

void GuiServices::FileListChanged() {
    if (calls_->IsWindowThread())
        view_.FileListChanged(false);
    else
        calls_->Post([this] { view_.FileListChanged(false); });
}

// Pictures: decoded and painted on the calling thread, shown by the window thread.

void GuiServices::ShowVideo(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        videoPath_ = path;
    }
    DrawVideo(path);
}

void GuiServices::DrawVideo(const std::string& path) {
    const FrameTransform transform = view_.Conversion().TransformFromForm();
    auto picture = std::make_shared<PaintedPicture>();
    if (view_.VideoBox().Painter().Draw(path, &transform, *picture))
        calls_->Post([this, picture] { view_.VideoBox().ShowPicture(*picture); });
}

void GuiServices::ShowStartupPicture(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        startupPath_ = path;
        previewName_ = path;
    }
    for (CPictureBox* box : {&view_.PreviewBox(), &view_.VideoBox()}) {
        PaintedPicture picture;
        if (box->Painter().Draw(path, nullptr, picture))
            box->ShowPicture(picture);
    }
}

void GuiServices::RedrawVideo() {
    std::string path;
    std::string startup;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        path = videoPath_;
        startup = startupPath_;
    }
    if (!path.empty()) {
        DrawVideo(path);
        return;
    }
    // Before the first conversion the box shows the start-up picture as it is.
    auto picture = std::make_shared<PaintedPicture>();
    if (!startup.empty() && view_.VideoBox().Painter().Draw(startup, nullptr, *picture))
        calls_->Post([this, picture] { view_.VideoBox().ShowPicture(*picture); });
}

std::string GuiServices::VideoPath() const {
    std::lock_guard<std::mutex> lock(requestMutex_);
    return videoPath_;
}

std::string GuiServices::PreviewName() const {
    std::lock_guard<std::mutex> lock(requestMutex_);
    return previewName_;
}

void GuiServices::SetPreviewName(const std::string& name) {
    std::lock_guard<std::mutex> lock(requestMutex_);
    previewName_ = name;
}

void GuiServices::RequestLightPreview(int brightness, int contrast) {
    std::lock_guard<std::mutex> lock(requestMutex_);
    // The wait cursor shows until the preview thread has drawn the request (or found nothing).
    if (!lightPreview_)
        wxBeginBusyCursor();
    lightPreview_ = true;
    lightBrightness_ = brightness;
    lightContrast_ = contrast;
}

void GuiServices::PaintPreview() {
    if (videoRedraw_.exchange(false))
        RedrawVideo();

    FrameTransform light;
    bool withLight = false;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(requestMutex_);
        withLight = lightPreview_;
        lightPreview_ = false;
        light.UseBrightness = 1;
        light.Brightness = lightBrightness_;
        light.Contrast = lightContrast_;
        name = previewName_;
    }
    CConversionView& conversion = view_.Conversion();
    if (!withLight) {
        // The first selected entry, if there is one; without a selection the box stays as it is.
        int index = 0;
        if (!conversion.Files().FirstSelected(name, index))
            return;
        SetPreviewName(name);
    }
    auto picture = std::make_shared<PaintedPicture>();
    if (!view_.PreviewBox().Painter().Draw(conversion.Files().ListDirectory() + name, withLight ? &light : nullptr,
                                           *picture))
        picture.reset();
    calls_->Post([this, picture, withLight] {
        if (picture)
            view_.PreviewBox().ShowPicture(*picture);
        if (withLight && wxIsBusy())
            wxEndBusyCursor();
    });
}

// Requests that wait for the window thread.

bool GuiServices::HasMainWindow() {
    return !calls_->IsClosed();
}

int GuiServices::RequestCodec(CodecRequest& request) {
    int answer = 0;
    if (!calls_->Invoke([&] { answer = RunSelectCodecDialog(&frame_, request); }))
        return 0;
    return answer;
}

void GuiServices::PostClose() {
    calls_->Post([this] { frame_.Close(); });
}

void GuiServices::PostCommand(int commandId) {
    calls_->Post([this, commandId] { frame_.RunCommand(commandId); });
}

void GuiServices::ShowFormValues(const FormValues& values) {
    calls_->Invoke([&] { view_.ShowFormValues(values); });
}

void GuiServices::ReadFormValues(FormValues& values) {
    calls_->Invoke([&] { view_.ReadFormValues(values); });
}

bool GuiServices::DispatchPending() {
    // Everything is served, the user's input included: a box the worker waits on may already be
    // open further up this thread's stack. The frame refuses its commands meanwhile.
    calls_->Drain();
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
        loop->YieldFor(wxEVT_CATEGORY_ALL);
    calls_->Drain();
    return true;
}
