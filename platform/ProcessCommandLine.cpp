#include "platform/ProcessCommandLine.h"

#include <mutex>

namespace {

struct State {
    std::mutex mutex;
    std::vector<std::string> arguments;
};

State& Process() {
    static State state;
    return state;
}

std::string Quoted(const std::string& token) {
    if (!token.empty() && token.find_first_of(" \"") == std::string::npos)
        return token;
    // Inside quotes a doubled quote yields one literal quote and ends the quoted span; the third
    // quote opens the span again, so the token continues as one.
    std::string text = "\"";
    for (char c : token) {
        if (c == '"')
            text += "\"\"\"";
        else
            text += c;
    }
    text += '"';
    return text;
}

}  // namespace

void SetProcessArguments(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        arguments.emplace_back(argv[i]);
    SetProcessArguments(arguments);
}

void SetProcessArguments(const std::vector<std::string>& arguments) {
    std::lock_guard<std::mutex> lock(Process().mutex);
    Process().arguments = arguments;
}

std::string GetProcessCommandLine() {
    std::lock_guard<std::mutex> lock(Process().mutex);
    std::string text;
    for (size_t i = 0; i < Process().arguments.size(); ++i) {
        if (i)
            text += ' ';
        text += Quoted(Process().arguments[i]);
    }
    return text;
}

std::vector<std::string> GetProcessArguments() {
    std::lock_guard<std::mutex> lock(Process().mutex);
    return Process().arguments;
}

void BlankProcessCommandLine() {
    std::lock_guard<std::mutex> lock(Process().mutex);
    Process().arguments.clear();
}
