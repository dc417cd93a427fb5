#pragma once
// Helpers for tests of the conversion: a settings file of the test's own, a recorder for message
// boxes, and window services that answer the codec request with uncompressed frames.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "support/FakeWindowServices.h"

/// Points PIXREEL_INI at a file holding the given text for the scope's life (the text is
/// written at once; "" leaves no file). The command line is emptied too, so that nothing of
/// the test program's own arguments is taken as options.
class IniScope {
public:
    IniScope(const std::string& path, const std::string& text);
    ~IniScope();
    IniScope(const IniScope&) = delete;
    IniScope& operator=(const IniScope&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

/// Records every message box and answers it (with the box's default button unless told).
class BoxRecorder {
public:
    struct Box {
        std::string text;
        unsigned flags = 0;
    };

    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<Box> Boxes() const;
    std::vector<std::string> Texts() const;
    /// Answer of the next boxes; 0 takes the default button.
    void AnswerWith(int answer);
    /// Called, outside the recorder's lock, before a box is answered.
    void OnBox(std::function<void(const Box&)> hook);

private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    int answer_ = 0;
    std::function<void(const Box&)> hook_;
    MessageBoxHandler previous_;
};

/// Window services that answer the codec request as the console does for a fresh settings file
/// (uncompressed frames) and count the requests.
class JobServices : public FakeWindowServices {
public:
    JobServices() { hasMainWindow = true; }
    int RequestCodec(CodecRequest& request) override;
    void PostClose() override;
    void PostCommand(int commandId) override;

    /// The status log's complete lines, in order.
    std::vector<std::string> Lines() const;
    int closes = 0;
    std::vector<int> commands;
    /// Run (on the calling thread) before every frame's BlinkActivity is recorded.
    std::function<void()> onBlink;
    void BlinkActivity() override;
    void PaintPreview() override { ++previews; }
    std::atomic<int> previews{0};

private:
    std::mutex mutex_;
};

/// Whether name is stem, two blanks, a three-letter month, a blank, a two-digit day, a blank,
/// six digits of time and ".avi": the name of a single output when files are not overwritten.
bool IsTimeStampedName(const std::string& name, const std::string& stem);
/// Whether the line is the start-up date line: some date text, a blank and "HH:MM".
bool IsDateLine(const std::string& line);

/// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);
