#include "platform/ProcessCommandLine.h"

#include "platform/CommandLineSplitter.h"

#include <atomic>
#include <string>

namespace {

std::string g_commandLine;
std::atomic<bool> g_blanked{false};
std::atomic<unsigned> g_generation{0};

// Appends one argument so that the command-line splitter reads it back unchanged. Inside quotes
// the splitter turns a doubled quote into one literal quote but also leaves the quoted span, so
// an embedded quote is written as three: the doubled pair for the character itself and one more
// to reopen the span for whatever follows.
void AppendArgument(std::string& line, const char* argument) {
    std::string text = argument ? argument : "";
    bool needsQuotes = text.empty() || text.find_first_of(" \"") != std::string::npos;
    if (!needsQuotes) {
        line += text;
        return;
    }
    line += '"';
    for (char c : text) {
        if (c == '"')
            line += "\"\"\"";
        else
            line += c;
    }
    line += '"';
}

}  // namespace

void SetProcessCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; argv != nullptr && i < argc && argv[i] != nullptr; ++i) {
        if (i > 0)
            line += ' ';
        AppendArgument(line, argv[i]);
    }
    g_commandLine = std::move(line);
    g_blanked.store(false);
    g_generation.fetch_add(1);
}

void SetProcessArguments(const std::vector<std::string>& arguments) {
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    SetProcessCommandLine(static_cast<int>(pointers.size()), pointers.data());
}

void SetProcessCommandLineText(const char* text) {
    g_commandLine = text ? text : "";
    g_blanked.store(false);
    g_generation.fetch_add(1);
}

const char* GetCommandLineA() {
    if (g_blanked.load())
        return "";
    return g_commandLine.c_str();
}

void BlankCommandLine() {
    g_blanked.store(true);
}

unsigned CommandLineGeneration() {
    return g_generation.load();
}

bool CommandLineHasArguments() {
    CommandLineSplitter splitter;
    return splitter.Split(GetCommandLineA(), kCommandLineSplitOptions) > 1;
}
