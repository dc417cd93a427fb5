#include "engine/StatusLog.h"

#include "base/PrintableText.h"
#include "platform/RegularFile.h"
#include "platform/StringTable.h"
#include "platform/SystemError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

std::string FormatNumber(const MessageArg& arg, char conversion, bool zeroPad, int width) {
    char digits[32];
    if (conversion == 'x')
        std::snprintf(digits, sizeof digits, "%llx", static_cast<unsigned long long>(arg.number));
    else
        std::snprintf(digits, sizeof digits, "%lld", arg.number);
    std::string text = digits;
    if (static_cast<int>(text.size()) < width) {
        const size_t pad = static_cast<size_t>(width) - text.size();
        if (zeroPad && !text.empty() && text[0] == '-')
            text.insert(1, pad, '0');
        else
            text.insert(0, pad, zeroPad ? '0' : ' ');
    }
    return text;
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// The catalogue's texts break lines with "\r\n"; the status log and its file use "\n".
std::string UnixLineEnds(std::string text) {
    size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos)
        text.erase(at, 1);
    return text;
}

}  // namespace

std::string FormatMessageText(const char* format, std::initializer_list<MessageArg> args) {
    std::string out;
    if (format == nullptr)
        return out;
    const MessageArg* next = args.begin();
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char* desc = p + 1;
        if (*desc == '%') {
            out += '%';
            p = desc;
            continue;
        }
        bool zeroPad = false;
        if (*desc == '0') {
            zeroPad = true;
            ++desc;
        }
        int width = 0;
        while (*desc >= '0' && *desc <= '9' && width < 100)
            width = width * 10 + (*desc++ - '0');
        const char conversion = *desc;
        if (conversion != 's' && conversion != 'd' && conversion != 'x') {
            out += '%';  // not a conversion this catalogue uses: keep the text as it stands
            continue;
        }
        p = desc;
        if (next == args.end())
            continue;
        const MessageArg& arg = *next++;
        if (conversion == 's')
            out += arg.isNumber ? std::to_string(arg.number) : arg.text;
        else
            out += FormatNumber(arg, conversion, zeroPad, width);
    }
    return out;
}

std::string FormatMessage(unsigned messageId, std::initializer_list<MessageArg> args) {
    return FormatMessageText(LoadStringText(messageId), args);
}

void LogText(WindowServices& window, const std::string& text, bool lineEnd) {
    window.AppendLog(text, false, lineEnd);
}

void LogRed(WindowServices& window, const std::string& text, bool lineEnd) {
    window.AppendLog(text, true, lineEnd);
}

void LogMessage(WindowServices& window, unsigned messageId, bool lineEnd, bool red) {
    const char* text = LoadStringText(messageId);
    window.AppendLog(text ? text : "", red, lineEnd);
}

void LogFormatted(WindowServices& window, unsigned messageId, const std::string& argument, bool lineEnd, bool red) {
    window.AppendLog(FormatMessage(messageId, {PrintableText(argument)}), red, lineEnd);
}

void LogSeriousError(WindowServices& window, bool handleValid, const std::string& what, unsigned long code) {
    if (handleValid)
        return;
    std::string systemText = code != 0 ? SystemErrorText(static_cast<int>(code)) : std::string();
    if (!systemText.empty() && systemText.back() != '\n')
        systemText += '\n';  // "Error code" always starts a line of its own
    const std::string text = FormatMessage(IDS_SERIOUS_ERROR_REPORT, {what, systemText, code});
    window.AppendLog(UnixLineEnds(text), true, true);
}

void SetPaneText(WindowServices& window, int paneId, const std::string& text) {
    window.SetPaneText(paneId, text);
}

void SetPaneFormatted(WindowServices& window, int paneId, unsigned messageId, const std::string& argument) {
    window.SetPaneText(paneId, FormatMessage(messageId, {PrintableText(argument)}));
}

void SetPaneNumber(WindowServices& window, int paneId, long value) {
    if (paneId == ID_INDICATOR_TIME)
        window.SetElapsedSeconds(value);
    else
        window.SetPaneText(paneId, std::to_string(value));
}

std::string FormatElapsedTime(long seconds) {
    if (seconds < 0)
        seconds = 0;
    char text[48];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

int StatusLogLinesToDrop(int lineCount) {
    return lineCount > kStatusLogMaxLines ? kStatusLogTrimLines : 0;
}

size_t StatusLogTrimOffset(const std::string& text) {
    int lines = 1;
    size_t dropEnd = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n')
            continue;
        ++lines;
        if (lines == kStatusLogTrimLines + 1)
            dropEnd = i + 1;  // the start of the first line that stays
    }
    return StatusLogLinesToDrop(lines) > 0 ? dropEnd : 0;
}

StatusLogFile::~StatusLogFile() {
    Close();
}

bool StatusLogFile::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    // A FIFO or a terminal as the log would make every line wait for its reader.
    fd_ = OpenRegularFile(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    return fd_ >= 0;
}

bool StatusLogFile::IsOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0;
}

void StatusLogFile::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void StatusLogFile::Append(const std::string& text, bool red, bool lineEnd, const Display& display) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (display) {
        try {
            display(text, red, lineEnd);
        } catch (...) {
            // A failed append is not reported; the file still gets the text.
        }
    }
    if (fd_ < 0)
        return;
    std::string record = text;
    if (lineEnd)
        record += '\n';
    WriteAll(fd_, record.data(), record.size());
}

bool OpenStatusLogFile(WindowServices& window, StatusLogFile& file, const std::string& path) {
    if (file.Open(path))
        return true;
    LogFormatted(window, IDS_FAILED_TO_OPEN_LOG, path, true, true);
    return false;
}
