#include "support/FakeWindowServices.h"

void FakeWindowServices::Record(Call call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
}

void FakeWindowServices::AppendLog(const std::string& text, bool red, bool lineEnd) {
    Record({"AppendLog", text, 0, red, lineEnd});
}

void FakeWindowServices::SetPaneText(int paneId, const std::string& text) {
    Record({"SetPaneText", text, paneId});
}

void FakeWindowServices::SetElapsedSeconds(long seconds) {
    Record({"SetElapsedSeconds", "", static_cast<int>(seconds)});
}

void FakeWindowServices::ShowAviOpen(bool open) {
    Record({"ShowAviOpen", "", open ? 1 : 0});
}

void FakeWindowServices::BlinkActivity() {
    Record({"BlinkActivity", ""});
}

void FakeWindowServices::MarkConverted(const std::string& name, int index) {
    Record({"MarkConverted", name, index});
}

void FakeWindowServices::ShowVideo(const std::string& path) {
    Record({"ShowVideo", path});
}

bool FakeWindowServices::HasMainWindow() {
    Record({"HasMainWindow", ""});
    return hasMainWindow;
}

int FakeWindowServices::RequestCodec(CodecRequest&) {
    Record({"RequestCodec", ""});
    return codecAnswer;
}

void FakeWindowServices::PostClose() {
    Record({"PostClose", ""});
}

void FakeWindowServices::PostCommand(int commandId) {
    Record({"PostCommand", "", commandId});
}

void FakeWindowServices::ReadFormValues(FormValues& values) {
    Record({"ReadFormValues", ""});
    if (formValues)
        values = *formValues;
}

void FakeWindowServices::EnableCloseAvi(bool enabled) {
    Record({"EnableCloseAvi", "", enabled ? 1 : 0});
}

void FakeWindowServices::SetWaitCursor(bool busy) {
    Record({"SetWaitCursor", "", busy ? 1 : 0});
}

void FakeWindowServices::PaintPreview() {
    Record({"PaintPreview", ""});
}

void FakeWindowServices::FileListChanged() {
    Record({"FileListChanged", ""});
}

std::vector<FakeWindowServices::Call> FakeWindowServices::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::string FakeWindowServices::LogText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const Call& call : calls_) {
        if (call.what != "AppendLog")
            continue;
        text += call.text;
        if (call.lineEnd)
            text += '\n';
    }
    return text;
}

std::vector<std::string> FakeWindowServices::RedLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    std::string current;
    bool allRed = true;
    for (const Call& call : calls_) {
        if (call.what != "AppendLog")
            continue;
        current += call.text;
        allRed = allRed && call.red;
        if (call.lineEnd) {
            if (allRed)
                lines.push_back(current);
            current.clear();
            allRed = true;
        }
    }
    return lines;
}

std::string FakeWindowServices::PaneText(int paneId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
        if (it->what == "SetPaneText" && it->number == paneId)
            return it->text;
    }
    return {};
}

int FakeWindowServices::CountOf(const std::string& what) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const Call& call : calls_)
        count += call.what == what ? 1 : 0;
    return count;
}

void FakeWindowServices::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}
