#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

#include "platform/WinTypes.h"

namespace {

std::mutex& HandlerMutex() {
    static std::mutex mutex;
    return mutex;
}

MessageBoxHandler& InstalledHandler() {
    static MessageBoxHandler handler;
    return handler;
}

int PrintToStderr(const std::string& text, const std::string& caption, unsigned flags) {
    // One fprintf per box, so boxes from two threads never interleave within a line.
    if (caption.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return DefaultMessageBoxAnswer(flags);
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    MessageBoxHandler previous = std::move(InstalledHandler());
    InstalledHandler() = std::move(handler);
    return previous;
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerMutex());
        handler = InstalledHandler();
    }
    // The handler may block for as long as the user looks at the box; it runs unlocked so that
    // other threads can show boxes or replace the handler meanwhile.
    if (handler)
        return handler(text, caption, flags);
    return PrintToStderr(text, caption, flags);
}

int DefaultMessageBoxAnswer(unsigned flags) {
    const bool second = (flags & MB_DEFBUTTON2) != 0;
    switch (flags & 0x000F) {
    case MB_YESNO:
        return second ? IDNO : IDYES;
    case MB_OKCANCEL:
        return second ? IDCANCEL : IDOK;
    default:
        return IDOK;
    }
}
