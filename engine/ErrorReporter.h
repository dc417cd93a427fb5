#pragma once
// CErrorReporter: the error box of the AVI writer. A failed system call is shown as the system's
// text for its error code, followed by a message of the string table.

#include <initializer_list>
#include <string>

class CErrorReporter {
public:

    /// Shows "<system text of errorCode>\n<message filled with arguments>" in a box without owner
    /// or caption, with flags | MB_SYSTEMMODAL. The message is the string-table entry messageId
    /// (at most 127 characters); each "%s" in it takes the next argument in turn, "%%" is one
    /// '%'. The system text is left out when the code is 0 or the message is missing; nothing is
    /// shown when the whole text is empty. Always returns 1.
    int ShowError(int errorCode, unsigned messageId, unsigned flags, std::initializer_list<const char*> arguments = {});

    /// The system text of the last code reported (empty before the first report).
    const std::string& SystemText() const { return systemText_; }

protected:
    // Part of a writer, never an object of its own.
    ~CErrorReporter() = default;

private:
    std::string systemText_;
};

/// Fills a string-table format: each "%s" takes the next argument (nothing once they run out),
/// "%%" becomes '%'; any other conversion is copied as it stands.
std::string FillMessage(const char* format, std::initializer_list<const char*> arguments);
