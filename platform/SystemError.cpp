#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

std::string SystemErrorText(int code) {
    if (code == 0)
        return {};
    // strerrordesc_np gives the untranslated text and nullptr for codes the system does not know,
    // where strerror would invent "Unknown error N".
    const char* text = ::strerrordesc_np(code);
    if (!text || !*text)
        return {};
    return std::string(text) + "\n";
}

void SystemErrorString(char* buffer, size_t size, int code) {
    if (!buffer || size == 0)
        return;
    const std::string text = SystemErrorText(code);
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

void FatalBox(const char* message, int code) {
    const int savedError = errno;
    std::string text;
    try {
        text.reserve((message ? std::strlen(message) : 0) + 1024);
    } catch (const std::bad_alloc&) {
        ShowMessageBox("Failed to build error message", "", MB_OK | MB_ICONHAND);
        errno = savedError;
        return;
    }
    char systemText[1024];
    SystemErrorString(systemText, sizeof systemText, code);
    text += message ? message : "";
    text += ' ';
    text += systemText;
    ShowMessageBox(text, "", MB_OK);
    errno = savedError;
}
