#include "config/CommandLineOverlay.h"

#include "config/Settings.h"
#include "base/AsciiCase.h"
#include "platform/CommandLineSplitter.h"
#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"

#include <atomic>
#include <cstring>

namespace {

enum class Option { Text, Unique, Codec };

struct OptionRule {
    const char* token;
    Option option;
    std::span<char> (*field)(Settings&);  // the text field an Option::Text argument fills
    bool directory;                       // the field is a folder: it gets a trailing '/'
    unsigned missingTextId;               // string-table text of the box for a missing argument
    const char* missingText;              // used when the table has no text for it
};

constexpr OptionRule kOptions[] = {
    {"-d", Option::Text, &TextFieldOf<&Settings::JPGDir>, true, IDS_NO_DIRECTORY_ARG, nullptr},
    {"-f", Option::Text, &TextFieldOf<&Settings::JPGSuffix>, false, IDS_NO_SUFFIX_ARG, nullptr},
    {"-o", Option::Text, &TextFieldOf<&Settings::VideoFile>, false, IDS_NO_OUTPUT_ARG, nullptr},
    {"-l", Option::Text, &TextFieldOf<&Settings::LogFile>, false, 0, kNoLogFileArgText},
    {"-u", Option::Unique, nullptr, false, 0, nullptr},
    {"-c", Option::Codec, nullptr, false, 0, kNoCodecArgText},
};

// The command line whose mistakes have been reported; 0 before the first report.
std::atomic<unsigned> g_reportedGeneration{0};

const OptionRule* FindOption(const char* token) {
    for (const OptionRule& desc : kOptions) {
        if (EqualIgnoringAsciiCase(token, desc.token))
            return &desc;
    }
    return nullptr;
}

// Copies the argument into a fixed field; false (field untouched) when it does not fit with the
// separator that a directory gets.
bool CopyArgument(std::span<char> field, const char* argument, bool directory) {
    size_t length = std::strlen(argument);
    const bool addSeparator = directory && length >= 2 && argument[length - 1] != '/';
    if (length + (addSeparator ? 1 : 0) + 1 > field.size())
        return false;
    std::memcpy(field.data(), argument, length);
    if (addSeparator)
        field[length++] = '/';
    field[length] = '\0';
    return true;
}

void ErrorBox(const char* text) {
    ShowMessageBox(text ? text : "", "", MB_OK | MB_ICONHAND);
}

// Walks the command line's options over the record and collects the "-c" argument. Boxes are
// shown only when report is set.
void Overlay(Settings& settings, std::string& codec, bool report) {
    CommandLineSplitter splitter;
    const int count = splitter.Split(GetCommandLineA(), kCommandLineSplitOptions);
    if (count <= 1)
        return;

    for (int i = 1; i < count; ++i) {
        const OptionRule* desc = FindOption(splitter.Token(i));
        if (desc == nullptr)
            continue;
        if (desc->option == Option::Unique) {  // the one option without an argument
            settings.AVIStyle = 0;
            continue;
        }
        if (i + 1 >= count) {
            if (report)
                ErrorBox(desc->missingText ? desc->missingText : LoadStringText(desc->missingTextId));
            continue;
        }
        const char* argument = splitter.Token(++i);
        if (desc->option == Option::Codec) {
            codec = argument;
            continue;
        }
        if (!CopyArgument(desc->field(settings), argument, desc->directory)) {
            // Cutting a path would silently convert or write somewhere else; refuse the rest.
            if (report)
                ErrorBox(LoadStringText(IDS_SERIOUS_ERROR_1));
            settings.AutoStop = 1;
            return;
        }
    }

    settings.FromCommandLine = 1;
    settings.AutoProcess = 1;
    settings.AutoStop = 1;
    settings.AutoPopulate = 1;
    settings.AutoSelect = 1;
}

}  // namespace

void ApplyCommandLine(Settings& settings) {
    const unsigned generation = CommandLineGeneration();
    const bool report = g_reportedGeneration.exchange(generation) != generation;
    std::string codec;
    Overlay(settings, codec, report);
}

void InstallCommandLineOverlay() {
    Settings::SetCommandLineOverlay(&ApplyCommandLine);
}

std::string CommandLineCodec() {
    Settings scratch;
    std::string codec;
    Overlay(scratch, codec, false);
    return codec;
}

bool CommandLineOptionTakesArgument(const char* token) {
    const OptionRule* desc = FindOption(token);
    return desc != nullptr && desc->option != Option::Unique;
}
