#include "support/JobTesting.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "engine/CompressOptions.h"
#include "platform/ProcessCommandLine.h"
#include "support/TempDir.h"

IniScope::IniScope(const std::string& path, const std::string& text) : path_(path) {
    if (const char* old = std::getenv("PIXREEL_INI")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    if (!text.empty())
        WriteFileBytes(path, text);
    ::setenv("PIXREEL_INI", path.c_str(), 1);
    SetProcessCommandLineText("");
}

IniScope::~IniScope() {
    if (hadPrevious_)
        ::setenv("PIXREEL_INI", previous_.c_str(), 1);
    else
        ::unsetenv("PIXREEL_INI");
    SetProcessCommandLineText("");
}

BoxRecorder::BoxRecorder() {
    previous_ = SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned flags) {
        Box box{text, flags};
        std::function<void(const Box&)> hook;
        int answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(box);
            hook = hook_;
            answer = answer_;
        }
        if (hook)
            hook(box);
        return answer ? answer : DefaultMessageBoxAnswer(flags);
    });
}

BoxRecorder::~BoxRecorder() {
    SetMessageBoxHandler(previous_);
}

std::vector<BoxRecorder::Box> BoxRecorder::Boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
}

std::vector<std::string> BoxRecorder::Texts() const {
    std::vector<std::string> texts;
    for (const Box& box : Boxes())
        texts.push_back(box.text);
    return texts;
}

void BoxRecorder::AnswerWith(int answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answer_ = answer;
}

void BoxRecorder::OnBox(std::function<void(const Box&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

int JobServices::RequestCodec(CodecRequest& request) {
    FakeWindowServices::RequestCodec(request);
    request.Options->fccHandler = comptypeDIB;
    request.Options->dwQuality = 10000;
    request.Options->dwKeyFrameEvery = 0;
    request.AlwaysUse = 0;
    std::snprintf(request.CodecName, sizeof request.CodecName, "%s", "Full Frames (Uncompressed)");
    return 1;
}

void JobServices::PostClose() {
    FakeWindowServices::PostClose();
    std::lock_guard<std::mutex> lock(mutex_);
    ++closes;
}

void JobServices::PostCommand(int commandId) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands.push_back(commandId);
}

void JobServices::BlinkActivity() {
    if (onBlink)
        onBlink();
    FakeWindowServices::BlinkActivity();
}

std::vector<std::string> JobServices::Lines() const {
    return SplitLines(LogText());
}

namespace {

bool Digits(const std::string& text, size_t at, size_t count) {
    if (at + count > text.size())
        return false;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

}  // namespace

bool IsTimeStampedName(const std::string& name, const std::string& stem) {
    // stem + "  Mmm dd hhmmss.avi"
    const std::string prefix = stem + "  ";
    if (name.size() != prefix.size() + 17 || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const size_t at = prefix.size();
    for (size_t i = at; i < at + 3; ++i) {
        if (!std::isalpha(static_cast<unsigned char>(name[i])))
            return false;
    }
    return name[at + 3] == ' ' && Digits(name, at + 4, 2) && name[at + 6] == ' ' && Digits(name, at + 7, 6) &&
           name.compare(at + 13, 4, ".avi") == 0;
}

bool IsDateLine(const std::string& line) {
    const size_t n = line.size();
    return n > 7 && !std::isspace(static_cast<unsigned char>(line[0])) && line[n - 6] == ' ' &&
           Digits(line, n - 5, 2) && line[n - 3] == ':' && Digits(line, n - 2, 2);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}
