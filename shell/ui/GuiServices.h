#pragma once
// What the engine asks of the window, served for the form view: every call may come from the
// worker or the preview thread and is carried to the window thread in order through WindowCalls.
// Log appends are queued under the log file's lock, so the control shows them in the order the
// log file has them; pictures are decoded and painted on the calling thread and only put on the
// screen by the window thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/WindowServices.h"

class CMainFrame;
class CPixreelView;
class WindowCalls;

/// The window thread's queue of calls, woken through the wx event loop.
std::shared_ptr<WindowCalls> CreateWindowThreadCalls();

class GuiServices : public WindowServices {
public:
    GuiServices(CPixreelView& view, CMainFrame& frame, std::shared_ptr<WindowCalls> calls);

    // WindowServices.
    void AppendLog(const std::string& text, bool red, bool lineEnd) override;
    void SetPaneText(int paneId, const std::string& text) override;
    void SetElapsedSeconds(long seconds) override;
    void ShowAviOpen(bool open) override;
    void BlinkActivity() override;
    void MarkConverted(const std::string& name, int index) override;
    void ShowVideo(const std::string& path) override;
    bool HasMainWindow() override;
    int RequestCodec(CodecRequest& request) override;
    void PostClose() override;
    void PostCommand(int commandId) override;
    void ShowFormValues(const FormValues& values) override;
    void ReadFormValues(FormValues& values) override;
    void EnableCloseAvi(bool enabled) override;
    void SetWaitCursor(bool busy) override;
    void PaintPreview() override;
    void FileListChanged() override;
    bool DispatchPending() override;

    /// The preview thread draws the video box again at its new size on its next wake.
    void RequestVideoRedraw() { videoRedraw_ = true; }
    /// The preview thread draws the preview name once with this brightness and contrast.
    void RequestLightPreview(int brightness, int contrast);
    /// Shows the start-up picture in both boxes (window thread, at start-up).
    void ShowStartupPicture(const std::string& path);
    /// The path the video box shows (empty before any).
    std::string VideoPath() const;
    /// The name of the picture the preview box shows last: a name in the list directory, or the
    /// full path of the start-up image.
    std::string PreviewName() const;
    void SetPreviewName(const std::string& name);

private:
    struct LogPiece {
        std::string text;
        bool red;
        bool lineEnd;
    };
    void QueueLog(const std::string& text, bool red, bool lineEnd);
    void FlushLog();
    void DrawVideo(const std::string& path);
    void RedrawVideo();

    CPixreelView& view_;
    CMainFrame& frame_;
    std::shared_ptr<WindowCalls> calls_;

    std::mutex logMutex_;
    std::vector<LogPiece> pendingLog_;

    std::atomic<unsigned> blinks_{0};
    std::atomic<bool> blinkQueued_{false};

    mutable std::mutex requestMutex_;  // guards the names and requests below
    std::string videoPath_;
    std::string previewName_;
    std::string startupPath_;
    bool lightPreview_ = false;
    int lightBrightness_ = 0;
    int lightContrast_ = 100;
    std::atomic<bool> videoRedraw_{false};
};
