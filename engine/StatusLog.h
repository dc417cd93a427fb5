#pragma once
// The status-log and status-pane operations every part of the program reports through, the
// message formatting they share, and the log file that mirrors the status log.

#include "engine/WindowServices.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>

/// One argument of a message text: a string for "%s", a number for "%d" and "%x".
struct MessageArg {
    MessageArg(const std::string& value) : text(value) {}
    MessageArg(const char* value) : text(value ? value : "") {}
    MessageArg(long long value) : number(value), isNumber(true) {}
    MessageArg(int value) : number(value), isNumber(true) {}
    MessageArg(long value) : number(value), isNumber(true) {}
    MessageArg(unsigned value) : number(value), isNumber(true) {}
    MessageArg(unsigned long value) : number(static_cast<long long>(value)), isNumber(true) {}

    std::string text;
    long long number = 0;
    bool isNumber = false;
};

/// Fills a message text's conversions ("%s", "%d", "%x" with an optional 0 flag and width, "%%")
/// with the arguments in order. Never cuts the result; a conversion without an argument becomes
/// empty, a null format an empty text.
std::string FormatMessageText(const char* format, std::initializer_list<MessageArg> args);
/// The string-table message filled with the arguments; empty when the table lacks it.
std::string FormatMessage(unsigned messageId, std::initializer_list<MessageArg> args);

// Status log. Each call is one append; the window side serialises appends.
void LogText(WindowServices& window, const std::string& text, bool lineEnd);
void LogRed(WindowServices& window, const std::string& text, bool lineEnd);
void LogMessage(WindowServices& window, unsigned messageId, bool lineEnd, bool red);
/// The message with its "%s" filled with the argument, whose control characters are shown as
/// escapes (a file name must not be able to break the line or steer the terminal).
void LogFormatted(WindowServices& window, unsigned messageId, const std::string& argument, bool lineEnd, bool red);

/// Called right after a system call with whether it gave a valid handle or result: on failure,
/// logs in red the serious-error report naming what failed, the system text of the code and the
/// code as "Error code 0x%04x" (more digits when the code needs them). Nothing on success.
void LogSeriousError(WindowServices& window, bool handleValid, const std::string& what, unsigned long code);

// Status panes.
void SetPaneText(WindowServices& window, int paneId, const std::string& text);
void SetPaneFormatted(WindowServices& window, int paneId, unsigned messageId, const std::string& argument);
/// The elapsed-time pane (ID_INDICATOR_TIME) gets the seconds to show; any other pane the number.
void SetPaneNumber(WindowServices& window, int paneId, long value);

/// Elapsed seconds as shown in the elapsed-time pane: "m:ss" below an hour, "h:mm:ss" from one
/// hour on (59 -> "0:59", 3600 -> "1:00:00"). Negative times show as "0:00".
std::string FormatElapsedTime(long seconds);

// Trimming of the status log display: when it holds more than kStatusLogMaxLines lines before
// an append, its oldest kStatusLogTrimLines lines go.
inline constexpr int kStatusLogMaxLines = 5000;
inline constexpr int kStatusLogTrimLines = 2000;
/// How many lines to drop from the front of a log holding lineCount lines.
int StatusLogLinesToDrop(int lineCount);
/// For a log whose text is given: the number of bytes to delete from its front (0 when no trim is
/// due). Lines are counted as a text box counts them: line ends + 1.
size_t StatusLogTrimOffset(const std::string& text);

/// The log file that mirrors the status log, and the lock that makes one append indivisible. A
/// front end owns one and routes every AppendLog through Append.
class StatusLogFile {
public:
    using Display = std::function<void(const std::string& text, bool red, bool lineEnd)>;

    StatusLogFile() = default;
    ~StatusLogFile();
    StatusLogFile(const StatusLogFile&) = delete;
    StatusLogFile& operator=(const StatusLogFile&) = delete;

    /// Opens the file for appending, creating it when absent; false (errno set) on failure, and
    /// for anything that is not a regular file.
    bool Open(const std::string& path);
    bool IsOpen() const;
    void Close();

    /// Under one lock: shows the text through display (when given), then writes it to the open
    /// file, followed by "\n" when lineEnd is set. Failures are swallowed.
    void Append(const std::string& text, bool red, bool lineEnd, const Display& display = {});

private:
    mutable std::mutex mutex_;
    int fd_ = -1;
};

/// Opens the log file named by a "-l" option; on failure logs "Failed to open the log file %s"
/// in red and the log goes on without a file.
bool OpenStatusLogFile(WindowServices& window, StatusLogFile& file, const std::string& path);
