// pixreel: turns series of still images into AVI video. Started with arguments it converts
// unattended; without a window system it runs the same conversion on the console.

#include <malloc.h>

#include <clocale>

#include "config/CommandLineOverlay.h"
#include "platform/ProcessCommandLine.h"
#include "shell/ConsoleFrontEnd.h"
#include "shell/InfoOptions.h"

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
    // The window is not part of this build: with or without a display the console runs the
    // conversion (and installs its message-box handler).
    return RunPixreelConsole();
}
