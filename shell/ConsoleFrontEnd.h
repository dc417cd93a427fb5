#pragma once
// The console front end: the unattended chain (fill the list, select everything, convert, close)
// run without a window. Every status-log line goes to stdout exactly as the status log holds it,
// one per line (red ones also to stderr), and to the "-l" log file; message boxes are printed to
// stderr and take their default button; the codec request is answered as the Select Codec dialog
// would be if OK were pressed at once ("-c FOURCC" picks the compressor for the run); a progress
// line is drawn on stderr when it is a terminal.

#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "engine/WindowServices.h"
#include "platform/Event.h"

class CConversionView;
class CPixreelDoc;
struct JobSummary;

/// Exit statuses of a console run.
enum ConsoleExit : int {
    kExitConverted = 0,     ///< every selected file was converted (or dropped as identical)
    kExitFilesFailed = 1,   ///< some files could not be read, had another size or were not written
    kExitNoOutput = 2,      ///< not a single frame was written (output not opened, first file
                            ///< unreadable, disk full from the start, frame times too short)
    kExitNothingToDo = 3,   ///< no file matched the input directory and suffix
    kExitUsage = 64,        ///< started without arguments
    kExitNoInput = 66,      ///< the input directory is missing, unreadable or not a directory
    kExitInterrupted = 130, ///< stopped by an interrupt (Ctrl+C) or a termination signal
};

class ConsoleFrontEnd : public WindowServices {
public:
    /// Output goes to out (log lines) and err (red lines again, boxes, progress).
    ConsoleFrontEnd(std::FILE* out, std::FILE* err);
    ~ConsoleFrontEnd() override;
    ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
    ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

    /// Runs the start-up chain and the window thread's loop until the close; answers the exit
    /// status. Interrupt and termination signals stop the conversion and close the output in
    /// order (the caller blocks them in every thread before any thread starts); further signals
    /// within three seconds join that stop, and only a later one ends the process at once.
    int Run(CConversionView& view, CPixreelDoc& doc);

    /// Shows a message box on the console: its text on stderr; answers the default button.
    int ShowBox(const std::string& text, const std::string& caption, unsigned flags);

    /// Whether a progress line is drawn (by default when stderr is a terminal).
    void SetProgress(bool enabled) { progress_ = enabled; }

    // WindowServices.
    void AppendLog(const std::string& text, bool red, bool lineEnd) override;
    void SetPaneText(int paneId, const std::string& text) override;
    void SetElapsedSeconds(long seconds) override;
    void ShowAviOpen(bool) override {}
    void BlinkActivity() override {}
    void MarkConverted(const std::string&, int) override {}
    void ShowVideo(const std::string&) override {}
    bool HasMainWindow() override { return true; }
    int RequestCodec(CodecRequest& request) override;
    void PostClose() override;
    void PostCommand(int commandId) override;

private:
    using Task = std::function<void()>;

    void Post(Task task);
    void Display(const std::string& text, bool red, bool lineEnd);
    void ClearProgressLocked();
    void DrawProgressLocked();
    void StartSignalThread();
    void Interrupt();
    int ExitStatus(CConversionView& view, CPixreelDoc& doc) const;
    /// After a stop that the worker did not follow: completes the output and ends the program.
    void EndStuckConversion(CPixreelDoc& doc);

    std::FILE* out_;
    std::FILE* err_;
    bool progress_ = false;
    bool colour_ = false;       // stdout is a terminal: red lines are shown in red
    bool sameTerminal_ = false; // stdout and stderr are the same terminal: red lines once

    CConversionView* view_ = nullptr;

    std::mutex outputMutex_;    // one line, one box or one progress update at a time
    bool progressShown_ = false;
    bool midLine_ = false;      // the last log text did not end its line
    std::string fileNumber_, fileCount_, failures_;
    long elapsed_ = 0;

    std::mutex queueMutex_;
    std::deque<Task> queue_;
    Event queued_{Event::Mode::AutoReset};
    bool closing_ = false;
    bool quit_ = false;
    bool interrupted_ = false;
};

/// The exit status of an unattended run (console or window) from how its last conversion went and
/// how many outputs could not be completed.
int ConversionExitStatus(const JobSummary& job, int failedCloses);

/// The text printed when pixreel is started without arguments: what to type instead.
std::string ConsoleUsageText(bool haveDisplay);

/// The program on the console, once main has set the process command line and installed the
/// command-line overlay: the usage text without arguments, else the unattended run with the
/// console's message-box handler. Answers the process's exit status.
int RunPixreelConsole();
