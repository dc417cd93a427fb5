#pragma once
// A WindowServices that records every call, for tests of code that reports to the window side.

#include "engine/WindowServices.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

class FakeWindowServices : public WindowServices {
public:
    /// One recorded call: the operation's name and its arguments.
    struct Call {
        std::string what;  ///< "AppendLog", "SetPaneText", "SetElapsedSeconds", ...
        std::string text;  ///< text or name argument
        int number = 0;    ///< pane identifier, list index, seconds, command, flag
        bool red = false;
        bool lineEnd = false;
    };

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
    void ReadFormValues(FormValues& values) override;
    void EnableCloseAvi(bool enabled) override;
    void SetWaitCursor(bool busy) override;
    void PaintPreview() override;
    void FileListChanged() override;

    /// Every call so far, in order.
    std::vector<Call> Calls() const;
    /// The status log as it would read: appended texts with "\n" for each line end.
    std::string LogText() const;
    /// The complete lines of the log whose every part was appended in red.
    std::vector<std::string> RedLines() const;
    /// The last text put into the pane; empty when none.
    std::string PaneText(int paneId) const;
    /// How many calls of that name were made.
    int CountOf(const std::string& what) const;
    void Reset();

    /// Answers for HasMainWindow and RequestCodec.
    bool hasMainWindow = false;
    int codecAnswer = 0;
    /// What ReadFormValues hands back; when empty the values are left as they are.
    std::optional<FormValues> formValues;

private:
    void Record(Call call);

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
};
