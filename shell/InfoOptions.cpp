#include "shell/InfoOptions.h"

#include <cstdlib>

#include "base/AsciiCase.h"
#include "config/CommandLineOverlay.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"
#include "shell/ConsoleFrontEnd.h"

namespace {

enum class Question { None, Help, Version };

Question FindQuestion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (EqualIgnoringAsciiCase(argv[i], "--help"))
            return Question::Help;
        if (EqualIgnoringAsciiCase(argv[i], "--version"))
            return Question::Version;
        if (CommandLineOptionTakesArgument(argv[i]))
            ++i;
    }
    return Question::None;
}

bool DisplayNamed() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

}  // namespace

std::string PixreelVersionLine() {
    const char* title = LoadStringText(IDS_APP_TITLE);
    return std::string(title ? title : "") + " Version " + VersionValue("SpecialBuild") + " " +
           VersionValue("FileVersion");
}

int HandleInformationOptions(int argc, char** argv, std::FILE* out, bool& handled) {
    const Question question = FindQuestion(argc, argv);
    handled = question != Question::None;
    if (question == Question::Help) {
        std::fputs(ConsoleUsageText(DisplayNamed()).c_str(), out);
    } else if (question == Question::Version) {
        const std::string text = PixreelVersionLine() + "\n" + VersionValue("LegalCopyright") +
                                 "\nLicense GPL-3.0-or-later: GNU GPL version 3 or later "
                                 "<https://gnu.org/licenses/gpl.html>.\n";
        std::fputs(text.c_str(), out);
    }
    if (handled)
        std::fflush(out);
    return 0;
}
