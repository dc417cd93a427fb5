// pixreel: turns series of still images into AVI video. With a display it opens its window (a
// start with arguments converts unattended in it and closes by itself); without one the same
// unattended conversion runs on the console.

#include <malloc.h>
#include <signal.h>

#include <clocale>
#include <cstdlib>

#include "config/CommandLineOverlay.h"
#include "platform/ProcessCommandLine.h"
#include "shell/ConsoleFrontEnd.h"
#include "shell/InfoOptions.h"
#include "shell/ui/PixreelApp.h"

int main(int argc, char** argv) {
    bool answered = false;  // --help and --version print and end, with or without a display
    if (const int status = HandleInformationOptions(argc, argv, stdout, answered); answered)
        return status;
    // A conversion allocates and frees a few large pictures of the same sizes for every image.
    // Served from one heap that keeps what was freed, the next image reuses the same memory
    // instead of having fresh pages mapped and zeroed by the system each time (a fifth of the
    // time of a large-picture conversion). The pipeline bounds how much is ever in use.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // Month and day names of the output time stamps and the start-up line follow the user.
    std::setlocale(LC_TIME, "");
    SetProcessCommandLine(argc, argv);
    InstallCommandLineOverlay();
    // A file size limit (ulimit -f) and a reader of the output that went away (pixreel | head)
    // must not kill the program in the middle of a frame: the write fails instead (EFBIG, EPIPE),
    // the first is reported and ends the conversion in order, the second only loses the lines.
    ::signal(SIGXFSZ, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);

    if (DisplayNamed()) {
        const int status = RunPixreelWindow(argc, argv);
        if (status != kNoWindowSystem)
            return status;
    }
    // No display could be opened. The console runs a start with arguments; a start without
    // arguments says that the window needs a display and how to convert without one.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    return RunPixreelConsole();
}
