// pixreel: turns series of still images into AVI video. Started with arguments it converts
// unattended; without a window system it runs the same conversion on the console.

#include <clocale>

#include "config/CommandLineOverlay.h"
#include "platform/ProcessCommandLine.h"
#include "shell/ConsoleFrontEnd.h"

int main(int argc, char** argv) {
    // Month and day names of the output time stamps and the start-up line follow the user.
    std::setlocale(LC_TIME, "");
    SetProcessCommandLine(argc, argv);
    InstallCommandLineOverlay();
    // The window is not part of this build: with or without a display the console runs the
    // conversion (and installs its message-box handler).
    return RunPixreelConsole();
}
