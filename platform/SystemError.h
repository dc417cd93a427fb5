#pragma once
// The system's text for an error code. errno stands in for the thread's last error: platform
// calls that fail leave their reason there.

#include <cstddef>
#include <string>

/// The system text of an error code followed by a line break ("Permission denied\n"); empty when
/// the code is 0 or the system has no text for it. Cut to size - 1 bytes and always terminated
/// (nothing is written when size is 0).
void SystemErrorString(char* buffer, size_t size, int code);
/// The same text as a string.
std::string SystemErrorText(int code);

/// The last-resort box for failures before any window exists: "<message> <system text>", no
/// owner, default caption, OK button (through the message-box service).
void FatalBox(const char* message, int code);
