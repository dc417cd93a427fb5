#include "engine/StatusLog.h"

#include "platform/StringTable.h"
#include "support/FakeWindowServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST(StatusLog, ElapsedTimeFormat) {
    EXPECT_EQ(FormatElapsedTime(0), "0:00");
    EXPECT_EQ(FormatElapsedTime(59), "0:59");
    EXPECT_EQ(FormatElapsedTime(61), "1:01");
    EXPECT_EQ(FormatElapsedTime(3599), "59:59");
    EXPECT_EQ(FormatElapsedTime(3600), "1:00:00");
    EXPECT_EQ(FormatElapsedTime(3661), "1:01:01");
    EXPECT_EQ(FormatElapsedTime(36000), "10:00:00");
    EXPECT_EQ(FormatElapsedTime(-5), "0:00");
}

TEST(StatusLog, PaneOperations) {
    FakeWindowServices window;
    SetPaneNumber(window, ID_INDICATOR_TIME, 59);
    SetPaneNumber(window, ID_INDICATOR_FILE_NUMBER, 12);
    SetPaneFormatted(window, ID_INDICATOR_FILE_NAME, IDS_FAILED_TO_OPEN, "my file.jpg");
    SetPaneText(window, ID_INDICATOR_FAILURES, "0");

    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].what, "SetElapsedSeconds");
    EXPECT_EQ(calls[0].number, 59);
    EXPECT_EQ(window.PaneText(ID_INDICATOR_FILE_NUMBER), "12");
    EXPECT_EQ(window.PaneText(ID_INDICATOR_FILE_NAME), "Failed to open my file.jpg");
    EXPECT_EQ(window.PaneText(ID_INDICATOR_FAILURES), "0");
}

TEST(StatusLog, LogOperations) {
    FakeWindowServices window;
    LogRed(window, "red ", false);
    LogText(window, "plain", true);
    LogMessage(window, IDS_STOPPING, true, false);
    LogFormatted(window, IDS_DROPPED, "100%s %d.jpg", true, true);
    LogMessage(window, 1, true, false);  // no such message: an empty line, nothing else

    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_TRUE(calls[0].red);
    EXPECT_FALSE(calls[0].lineEnd);
    EXPECT_FALSE(calls[1].red) << "text after a red one is in the default colour";
    EXPECT_EQ(window.LogText(), "red plain\nStopping Processing\nDropped 100%s %d.jpg\n\n");
    EXPECT_EQ(window.RedLines(), std::vector<std::string>({"Dropped 100%s %d.jpg"}));
}

TEST(StatusLog, NamesAreShownWithTheirControlCharactersEscaped) {
    struct Case {
        std::string name;
        std::string shown;
    };
    for (const Case& c : {Case{"plain \xC3\xBCml\xC3\xA4ut.jpg", "plain \xC3\xBCml\xC3\xA4ut.jpg"},
                          Case{"\x1b[2J\x1b]0;owned\x07.jpg", "\\x1b[2J\\x1b]0;owned\\x07.jpg"},
                          Case{"two\nlines\r\tand\x7f.jpg", "two\\nlines\\r\\tand\\x7f.jpg"},
                          Case{"c1 \xC2\x9b" "31m \xC2\xA9.jpg", "c1 \\xc2\\x9b" "31m \xC2\xA9.jpg"}}) {
        FakeWindowServices window;
        LogFormatted(window, IDS_PROCESSED, c.name, true, false);
        SetPaneFormatted(window, ID_INDICATOR_FILE_NAME, IDS_FAILED_TO_OPEN, c.name);
        EXPECT_EQ(window.LogText(), "Processed " + c.shown + "\n");
        EXPECT_EQ(window.PaneText(ID_INDICATOR_FILE_NAME), "Failed to open " + c.shown);
    }
}

TEST(StatusLog, MessageFormatting) {
    EXPECT_EQ(FormatMessageText("0x%04x", {126}), "0x007e");
    EXPECT_EQ(FormatMessageText("0x%04x", {0x12345}), "0x12345");
    EXPECT_EQ(FormatMessageText("%d files, 100%%", {-3}), "-3 files, 100%");
    EXPECT_EQ(FormatMessageText("%s and %s", {"one"}), "one and ") << "a missing argument is empty";
    EXPECT_EQ(FormatMessageText("50% off", {}), "50% off");
    EXPECT_EQ(FormatMessageText(nullptr, {"x"}), "");
    EXPECT_EQ(FormatMessage(IDS_TOO_MANY_FILES, {7}),
              "There are too many files, processing the first 7 only.\nTry closing some programs down.");
    const std::string longName(5000, 'n');
    EXPECT_EQ(FormatMessage(IDS_PROCESSED, {longName}), "Processed " + longName) << "never cut";
}

TEST(StatusLog, SeriousErrorReport) {
    const std::string head = std::string("Serious Error. please send an email to ") + kSupportEmail +
                             " containg this error message.\n";
    FakeWindowServices window;
    LogSeriousError(window, true, "CreateEvent m_CheckEvent", 5);
    EXPECT_TRUE(window.Calls().empty()) << "a valid handle logs nothing";

    LogSeriousError(window, false, "CreateEvent m_CheckEvent", 0);
    auto lines = window.RedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], head + "CreateEvent m_CheckEvent\nError code 0x0000");

    window.Reset();
    LogSeriousError(window, false, "SetEvent(m_hStopVideoEvent)", 5);
    lines = window.RedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], head + "SetEvent(m_hStopVideoEvent)\nInput/output error\nError code 0x0005");

    window.Reset();
    LogSeriousError(window, false, "x", 126);
    EXPECT_TRUE(EndsWith(window.RedLines().at(0), "\nError code 0x007e"));

    window.Reset();
    LogSeriousError(window, false, "x", 0x12345);
    EXPECT_TRUE(EndsWith(window.RedLines().at(0), "\nError code 0x12345"));
    EXPECT_EQ(window.LogText().find('\r'), std::string::npos);
}

TEST(StatusLog, TrimRule) {
    EXPECT_EQ(StatusLogLinesToDrop(5000), 0);
    EXPECT_EQ(StatusLogLinesToDrop(5001), 2000);

    std::string text;
    for (int i = 0; i < 4999; ++i)
        text += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(StatusLogTrimOffset(text), 0u) << "4999 line ends: 5000 lines";
    text += "line 4999\n";
    const size_t offset = StatusLogTrimOffset(text);
    ASSERT_GT(offset, 0u);
    EXPECT_EQ(text.compare(offset, 10, "line 2000\n"), 0) << "the oldest 2000 lines go";
}

TEST(StatusLog, LogFileIsAppendedAcrossRuns) {
    TempDir dir;
    const std::string path = dir.file("run.log");
    WriteFileBytes(path, "older content\n");
    {
        StatusLogFile file;
        ASSERT_TRUE(file.Open(path));
        std::string shown;
        auto display = [&](const std::string& text, bool red, bool lineEnd) {
            shown += (red ? "<red>" : "") + text + (lineEnd ? "|" : "");
        };
        file.Append("first", false, true, display);
        file.Append("part", false, false, display);
        file.Append(" two", true, true, display);
        EXPECT_EQ(shown, "first|part<red> two|");
    }
    {
        StatusLogFile file;
        ASSERT_TRUE(file.Open(path));
        file.Append("second run", false, true);
    }
    EXPECT_EQ(ReadFileBytes(path), "older content\nfirst\npart two\nsecond run\n");

    // Created when absent.
    StatusLogFile fresh;
    ASSERT_TRUE(fresh.Open(dir.file("new.log")));
    fresh.Append("x", false, true);
    EXPECT_EQ(ReadFileBytes(dir.file("new.log")), "x\n");
}

TEST(StatusLog, UnopenableLogFileIsReportedAndTheLogGoesOn) {
    TempDir dir;
    FakeWindowServices window;
    StatusLogFile file;
    const std::string path = dir.file("missing/run.log");
    EXPECT_FALSE(OpenStatusLogFile(window, file, path));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(window.RedLines(), std::vector<std::string>({"Failed to open the log file " + path}));
    file.Append("still fine", false, true);

    // A FIFO nobody reads would make every line wait; a folder takes no lines.
    const std::string fifo = dir.file("log.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(file.Open(fifo));
    EXPECT_FALSE(file.Open(dir.path().string()));
}

TEST(StatusLog, AppendsFromTwoThreadsDoNotInterleave) {
    TempDir dir;
    StatusLogFile file;
    ASSERT_TRUE(file.Open(dir.file("both.log")));
    std::string shown;  // guarded by the file's lock only
    auto display = [&](const std::string& text, bool, bool lineEnd) {
        for (char c : text)
            shown += c;
        if (lineEnd)
            shown += '\n';
    };
    auto writer = [&](char tag) {
        for (int i = 0; i < 500; ++i)
            file.Append(std::string(40, tag), tag == 'r', true, display);
    };
    std::thread a(writer, 'a');
    std::thread r(writer, 'r');
    a.join();
    r.join();
    file.Close();

    for (const std::string& text : {shown, ReadFileBytes(dir.file("both.log"))}) {
        std::istringstream lines(text);
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            ASSERT_TRUE(line == std::string(40, 'a') || line == std::string(40, 'r')) << line;
        }
        EXPECT_EQ(count, 1000);
    }
}
