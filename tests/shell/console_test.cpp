#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/CompressOptions.h"
#include "platform/Codecs.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"
#include "shell/ConsoleCodec.h"
#include "shell/ConsoleFrontEnd.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

// A console writing into two files instead of stdout and stderr.
struct CapturedConsole {
    CapturedConsole() : out(std::tmpfile()), err(std::tmpfile()), console(out, err) {}
    ~CapturedConsole() {
        std::fclose(out);
        std::fclose(err);
    }
    static std::string Read(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            text.append(buffer, n);
        return text;
    }
    std::string Out() { return Read(out); }
    std::string Err() { return Read(err); }

    std::FILE* out;
    std::FILE* err;
    ConsoleFrontEnd console;
};

}  // namespace

TEST(Console, LinesGoToStdoutRedOnesAlsoToStderr) {
    CapturedConsole c;
    c.console.AppendLog("Processed a.jpg", false, true);
    c.console.AppendLog("Failed to open b.jpg", true, true);
    c.console.AppendLog("part", false, false);
    c.console.AppendLog(" two", false, true);
    EXPECT_EQ(c.Out(), "Processed a.jpg\nFailed to open b.jpg\npart two\n");
    EXPECT_EQ(c.Err(), "Failed to open b.jpg\n");
}

TEST(Console, BoxesArePrintedAndTakeTheirDefaultButton) {
    CapturedConsole c;
    EXPECT_EQ(c.console.ShowBox("No files have been selected. Please select some.", "", MB_OK), IDOK);
    EXPECT_EQ(c.console.ShowBox("Stop?", "", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(c.console.ShowBox("Really?", "Title", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(c.Out(), "");
    EXPECT_EQ(c.Err(), "Pixreel: No files have been selected. Please select some.\n"
                       "Pixreel: Stop?\n  (answered Yes)\n"
                       "Title: Really?\n  (answered No)\n");
}

TEST(Console, ProgressLineIsDrawnAndClearedAroundLogLines) {
    CapturedConsole c;
    c.console.SetProgress(true);
    c.console.SetPaneText(ID_INDICATOR_FILE_NUMBER, "1");  // nothing yet: the count is unknown
    EXPECT_EQ(c.Err(), "");
    c.console.SetPaneText(ID_INDICATOR_FILE_COUNT, "12");
    c.console.SetPaneText(ID_INDICATOR_FAILURES, "1");
    c.console.SetElapsedSeconds(65);
    c.console.AppendLog("Processed a.jpg", false, true);
    std::string err = c.Err();
    EXPECT_NE(err.find("\r\033[Kfile 1 of 12, 1 failed, 1:05"), std::string::npos) << err;
    // Before the log line the progress line is wiped, after it drawn again.
    EXPECT_EQ(err.substr(err.size() - std::string("\r\033[Kfile 1 of 12, 1 failed, 1:05").size()),
              "\r\033[Kfile 1 of 12, 1 failed, 1:05");
    EXPECT_EQ(c.Out(), "Processed a.jpg\n");
}

namespace {

class CodecAnswerTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample = dir.file("sample.jpg");
        WriteJpeg(sample, 32, 16, Pattern(1));
    }
    int Answer(AVICOMPRESSOPTIONS& options, const std::string& wanted) {
        request = CodecRequest{};
        request.SampleFile = sample.c_str();
        request.Options = &options;
        return AnswerCodecRequest(request, wanted);
    }

    TempDir dir;
    std::string sample;
    CodecRequest request{};
    BoxRecorder boxes;
};

}  // namespace

TEST_F(CodecAnswerTest, FreshSettingsGiveFullFrames) {
    AVICOMPRESSOPTIONS options{};
    ASSERT_EQ(Answer(options, ""), 1);
    EXPECT_EQ(options.fccHandler, comptypeDIB);
    EXPECT_EQ(options.dwQuality, 100u);  // the slider rests at 1%
    EXPECT_EQ(options.dwKeyFrameEvery, 0u);
    EXPECT_EQ(request.AlwaysUse, 0);
    EXPECT_STREQ(request.CodecName, "Full Frames (Uncompressed)");
}

TEST_F(CodecAnswerTest, StoredCompressorIsKeptWithItsValues) {
    AVICOMPRESSOPTIONS options{};
    options.fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
    options.dwQuality = 7550;
    options.dwKeyFrameEvery = 12;
    options.dwBytesPerSecond = 99;  // fields the dialog does not touch pass through
    ASSERT_EQ(Answer(options, ""), 1);
    EXPECT_EQ(options.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(options.dwQuality, 7500u);
    EXPECT_EQ(options.dwKeyFrameEvery, 12u);
    EXPECT_EQ(options.dwBytesPerSecond, 99u);
    ICINFO info{};
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, mmioFOURCC('M', 'J', 'P', 'G'), &info));
    char name[256];
    ICTextFromWide(info.szDescription, 128, name, sizeof name);
    EXPECT_STREQ(request.CodecName, name);

    // A stored compressor this machine does not have: the uncompressed entry is selected.
    options.fccHandler = mmioFOURCC('Q', 'Q', 'Q', 'Q');
    ASSERT_EQ(Answer(options, ""), 1);
    EXPECT_EQ(options.fccHandler, comptypeDIB);
}

TEST_F(CodecAnswerTest, CommandLinePicksTheCompressorForTheRun) {
    AVICOMPRESSOPTIONS options{};
    ASSERT_EQ(Answer(options, "mjpg"), 1);
    EXPECT_EQ(options.fccHandler, mmioFOURCC('M', 'J', 'P', 'G'));
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('M', 'J', 'P', 'G'), ICMODE_QUERY);
    ASSERT_NE(hic, nullptr);
    EXPECT_EQ(options.dwQuality, ICGetDefaultQuality(hic) / 100 * 100);
    EXPECT_EQ(options.dwKeyFrameEvery, ICGetDefaultKeyFrameRate(hic));
    ICClose(hic);

    options = AVICOMPRESSOPTIONS{};
    options.fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
    ASSERT_EQ(Answer(options, "DIB"), 1);
    EXPECT_EQ(options.fccHandler, comptypeDIB);
    EXPECT_STREQ(request.CodecName, "Full Frames (Uncompressed)");

    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(Answer(options, "NOPE"), 0);
    EXPECT_EQ(Answer(options, "TOOLONG"), 0);
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_EQ(boxes.Texts()[0].rfind("No compressor \"NOPE\" can compress sample.jpg", 0), 0u) << boxes.Texts()[0];
}

TEST_F(CodecAnswerTest, UnreadableSampleCancels) {
    AVICOMPRESSOPTIONS options{};
    sample = dir.file("missing.jpg");
    EXPECT_EQ(Answer(options, ""), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error. Failed to open " + sample});
    EXPECT_EQ(options.fccHandler, 0u);
}

TEST(ConsoleCodec, CodeFromText) {
    EXPECT_EQ(CodecCodeFromText("DIB"), comptypeDIB);
    EXPECT_EQ(CodecCodeFromText("MJPG"), mmioFOURCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(CodecCodeFromText(""), 0u);
    EXPECT_EQ(CodecCodeFromText("ABCDE"), 0u);
}
