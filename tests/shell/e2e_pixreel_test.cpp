// The pixreel program run as a user runs it on a machine without a display: real folders of
// images in, AVI files out, checked with ffprobe, with the exact status-log lines.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/PixreelRun.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class PixreelProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(PixreelProgram())) << "build the pixreel program first";
        fs::create_directories(dir.file("in"));
        fs::create_directories(dir.file("out"));
        WriteIni("");
    }

    // Output to out/, names in A-Z order, uncompressed frames remembered; `config` and `detect`
    // add keys to those sections.
    void WriteIni(const std::string& config, const std::string& detect = "") {
        WriteFileBytes(Ini(), "[Config]\nOutputPath=" + dir.file("out") + "/\nJPGSortOrder=2\nRememberCodec=1\n" +
                                  config + "\n[Detect]\n" + detect +
                                  "\n[Codec]\nfccHandler=541215044\nCodecName=Full Frames (Uncompressed)\n");
    }
    std::string Ini() { return dir.file("pixreel.ini"); }
    std::string In() { return dir.file("in"); }
    std::string Out(const std::string& name) { return dir.file("out/" + name); }

    void Image(const std::string& name, uint32_t width, uint32_t height, uint32_t seed) {
        WriteJpeg(dir.file("in/" + name), width, height, Pattern(seed));
    }

    PixreelResult Run(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}) {
        return RunPixreel(args, Ini(), env);
    }

    int64_t Frames(const std::string& avi) {
        ProbeResult probe = ProbeFile(Out(avi), true);
        EXPECT_TRUE(probe.ok) << probe.raw;
        if (probe.streams.empty())
            return -1;
        EXPECT_EQ(probe.streams[0].codecType, "video");
        return probe.streams[0].nbReadFrames < 0 ? 0 : probe.streams[0].nbReadFrames;
    }

    // The run's lines after the three start-up lines, which are checked on the way.
    std::vector<std::string> JobLines(const PixreelResult& result) {
        std::vector<std::string> lines = result.Lines();
        if (lines.size() < 3) {
            ADD_FAILURE() << "no start-up lines:\n" << result.out;
            return {};
        }
        EXPECT_EQ(lines[0], "Pixreel Version Linux 1.0.0");
        EXPECT_EQ(lines[1], "Copyright \xC2\xA9 2026 Tavrin Ltd");
        EXPECT_TRUE(IsDateLine(lines[2])) << lines[2];
        return std::vector<std::string>(lines.begin() + 3, lines.end());
    }

    TempDir dir;
};

}  // namespace

TEST_F(PixreelProgramTest, ConvertsAFolderAndLeavesTheSettingsAlone) {
    for (uint32_t i = 1; i <= 4; ++i)
        Image(NumberedName("p", i, ".jpg"), 64, 48, i);
    Image("other.png.txt", 8, 8, 9);  // another suffix: not listed
    const std::string iniBefore = ReadFileBytes(Ini());

    PixreelResult result = Run({"-d", In(), "-f", "jpg", "-o", "holiday"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(JobLines(result), (std::vector<std::string>{"Opened AVI file " + Out("holiday.avi"), "Processed p1.jpg",
                                                           "Processed p2.jpg", "Processed p3.jpg", "Processed p4.jpg"}));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFileBytes(Ini()), iniBefore);

    ProbeResult probe = ProbeFile(Out("holiday.avi"), true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    ASSERT_EQ(probe.streams.size(), 2u);
    EXPECT_EQ(probe.streams[0].codecName, "rawvideo");
    EXPECT_EQ(probe.streams[0].nbReadFrames, 4);
    EXPECT_EQ(probe.streams[0].width, 64);
    EXPECT_EQ(probe.streams[0].rFrameRate, "5/1");
    EXPECT_EQ(probe.tags["software"], "Pixreel Version Linux 1.0.0");

    // The frames are the pictures exactly as libjpeg decodes them.
    std::vector<uint8_t> frame = DecodeFrame(Out("holiday.avi"), 2, 64, 48, RowOrder::TopDownRgb);
    std::string ppm = RunCommand("djpeg -pnm " + ShellQuote(dir.file("in/p3.jpg")));
    const std::string header = "P6\n64 48\n255\n";
    ASSERT_EQ(ppm.substr(0, header.size()), header);
    EXPECT_EQ(std::string(frame.begin(), frame.end()), ppm.substr(header.size()));
}

TEST_F(PixreelProgramTest, FrameTimesAndDroppedFrames) {
    Image("a.jpg", 32, 32, 1);
    Image("b.jpg", 32, 32, 1);  // the same picture again
    Image("c.jpg", 32, 32, 2);
    WriteIni("UseFrameTime=1\nAVIFrameTime=2000\nFramesPerSec=5", "MotionDeviation=1");
    PixreelResult result = Run({"-d", In(), "-o", "timed"});
    EXPECT_EQ(result.status, 0) << result.err;  // dropping is what was asked for
    EXPECT_EQ(JobLines(result), (std::vector<std::string>{"Opened AVI file " + Out("timed.avi"), "Processed a.jpg",
                                                           "Dropped b.jpg", "Processed c.jpg"}));
    EXPECT_EQ(result.err, "Dropped b.jpg\n");  // red lines also on stderr
    EXPECT_EQ(Frames("timed.avi"), 20);

    WriteIni("UseFrameTime=1\nAVIFrameTime=150\nFramesPerSec=5");
    result = Run({"-d", In(), "-o", "short"});
    EXPECT_EQ(JobLines(result), std::vector<std::string>{"Opened AVI file " + Out("short.avi")});
    EXPECT_EQ(Frames("short.avi"), 0);
}

TEST_F(PixreelProgramTest, SizeMismatchesAreRefusedAndReported) {
    Image("a.jpg", 40, 30, 1);
    Image("b.jpg", 30, 40, 2);
    Image("c.jpg", 40, 30, 3);
    PixreelResult result = Run({"-d", In(), "-o", "mixed"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(JobLines(result),
              (std::vector<std::string>{"Opened AVI file " + Out("mixed.avi"), "Processed a.jpg",
                                        "Bitmap file is a different size b.jpg", "Processed c.jpg"}));
    EXPECT_EQ(result.err, "Bitmap file is a different size b.jpg\n");
    EXPECT_EQ(Frames("mixed.avi"), 2);

    // Scaling makes every image the same size.
    WriteIni("AVIScale=1\nAVIXScale=20\nAVIXYcale=16");
    result = Run({"-d", In(), "-o", "scaled"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(Frames("scaled.avi"), 3);
}

TEST_F(PixreelProgramTest, OneOutputPerImageWithU) {
    Image("a.jpg", 16, 16, 1);
    Image("b.jpg", 16, 16, 2);
    Image("c.jpg", 16, 16, 3);
    PixreelResult result = Run({"-d", In(), "-U"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(JobLines(result),
              (std::vector<std::string>{"Opened AVI file " + Out("a.avi"), "Processed a.jpg",
                                        "The AVI file has been closed", "Opened AVI file " + Out("b.avi"),
                                        "Processed b.jpg", "The AVI file has been closed",
                                        "Opened AVI file " + Out("c.avi"), "Processed c.jpg"}));
    for (const char* avi : {"a.avi", "b.avi", "c.avi"})
        EXPECT_EQ(Frames(avi), 1) << avi;
}

TEST_F(PixreelProgramTest, TimeStampedNameWhenNotOverwriting) {
    Image("a.jpg", 16, 16, 1);
    WriteIni("", "Overwrite=0");
    PixreelResult result = Run({"-d", In(), "-o", "clip.avi"});
    EXPECT_EQ(result.status, 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.file("out")))
        names.push_back(entry.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(IsTimeStampedName(names[0], "clip")) << names[0];
    EXPECT_EQ(Frames(names[0]), 1);
}

TEST_F(PixreelProgramTest, LogFileIsAppendedWithEveryLine) {
    Image("a.jpg", 16, 16, 1);
    const std::string log = dir.file("run.log");
    PixreelResult first = Run({"-d", In(), "-o", "one", "-l", log});
    EXPECT_EQ(ReadFileBytes(log), first.out);
    PixreelResult second = Run({"-d", In(), "-o", "two", "-l", log});
    EXPECT_EQ(ReadFileBytes(log), first.out + second.out);

    // A log file that cannot be opened is reported and the run goes on.
    PixreelResult third = Run({"-d", In(), "-o", "three", "-l", dir.file("no/such/dir/x.log")});
    EXPECT_EQ(third.status, 0);
    EXPECT_NE(third.out.find("Failed to open the log file " + dir.file("no/such/dir/x.log") + "\n"),
              std::string::npos);
    EXPECT_EQ(Frames("three.avi"), 1);
}

TEST_F(PixreelProgramTest, LookAheadDoesNotChangeAByte) {
    for (uint32_t i = 0; i < 12; ++i)
        Image(NumberedName("f", 100 + i, ".jpg"), 96, 64, i / 2);  // pairs: every second is dropped
    WriteIni("AVIScale=1\nAVIXScale=80\nAVIXYcale=60\nFlip=1\nUseBrightness=1\nBrightness=20\nContrast=120",
             "MotionDeviation=2\nScaleType=0");
    std::string bytes[3];
    std::string logs[3];
    for (int helpers = 0; helpers <= 2; ++helpers) {
        PixreelResult result = Run({"-d", In(), "-o", "same"}, {{"PIXREEL_LOOKAHEAD", std::to_string(helpers)}});
        EXPECT_EQ(result.status, 0) << result.err;
        bytes[helpers] = ReadFileBytes(Out("same.avi"));
        logs[helpers] = JobLines(result).size() ? result.out.substr(result.out.find("Opened")) : "";
    }
    ASSERT_FALSE(bytes[0].empty());
    EXPECT_TRUE(bytes[0] == bytes[1] && bytes[0] == bytes[2]);
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(logs[0], logs[2]);
    EXPECT_NE(logs[0].find("Dropped"), std::string::npos);
}

TEST_F(PixreelProgramTest, CompressorForTheRun) {
    Image("a.jpg", 32, 32, 1);
    Image("b.jpg", 32, 32, 2);
    PixreelResult result = Run({"-d", In(), "-o", "mjpeg", "-c", "mjpg"});
    EXPECT_EQ(result.status, 0) << result.err;
    ProbeResult probe = ProbeFile(Out("mjpeg.avi"), true);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams[0].codecName, "mjpeg");
    EXPECT_EQ(probe.streams[0].nbReadFrames, 2);

    // A compressor that does not exist: nothing is made.
    result = Run({"-d", In(), "-o", "none", "-c", "XYZW"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("No compressor \"XYZW\""), std::string::npos) << result.err;
    EXPECT_EQ(result.Lines().back(), "Failed to open the AVI file. Or operation cancelled by user.");
}

TEST_F(PixreelProgramTest, FreshSettingsAnswerTheCodecRequestWithFullFrames) {
    Image("a.jpg", 16, 16, 1);
    WriteFileBytes(Ini(), "[Config]\nOutputPath=" + dir.file("out") + "/\n");
    PixreelResult result = Run({"-d", In(), "-o", "fresh"});
    EXPECT_EQ(result.status, 0) << result.err;
    ProbeResult probe = ProbeFile(Out("fresh.avi"), true);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams[0].codecName, "rawvideo");
}

// The console answers the compressor request for this run only: a fresh settings file gains no
// "Codec" section, and "-c" never replaces the stored compressor.
TEST_F(PixreelProgramTest, CodecAnswersForTheRunAreNotStored) {
    Image("a.jpg", 16, 16, 1);
    WriteFileBytes(Ini(), "[Config]\nOutputPath=" + dir.file("out") + "/\n");
    std::string before = ReadFileBytes(Ini());
    EXPECT_EQ(Run({"-d", In(), "-o", "fresh"}).status, 0);
    EXPECT_EQ(ReadFileBytes(Ini()), before);

    WriteIni("");
    before = ReadFileBytes(Ini());
    EXPECT_EQ(Run({"-d", In(), "-o", "other", "-c", "MJPG"}).status, 0);
    EXPECT_EQ(ReadFileBytes(Ini()), before);
}

TEST_F(PixreelProgramTest, NothingToConvert) {
    PixreelResult result = Run({"-d", In(), "-f", "png"});
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(JobLines(result), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(Out("TavrinVideoFile.avi")));
}

TEST_F(PixreelProgramTest, WithoutArgumentsItExplainsWhatToDo) {
    PixreelResult result = Run({});
    EXPECT_EQ(result.status, 64);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("usage: pixreel -d DIR"), std::string::npos);
    EXPECT_NE(result.err.find("display"), std::string::npos);
    EXPECT_NE(result.err.find(Ini()), std::string::npos);
    EXPECT_NE(result.err.find("Exit status: 0 all converted, 1 some files failed, 2 no frame written (no video),\n"
                              "3 no matching files, 64 no arguments, 66 input folder missing or unreadable,\n"
                              "130 interrupted."),
              std::string::npos)
        << result.err;
}

TEST_F(PixreelProgramTest, AbsoluteOutputNameIsUsedAsItStands) {
    Image("a.jpg", 16, 16, 1);
    fs::create_directories(dir.file("elsewhere"));
    const std::string avi = dir.file("elsewhere/clip.avi");
    PixreelResult result = Run({"-d", In(), "-o", avi});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(JobLines(result), (std::vector<std::string>{"Opened AVI file " + avi, "Processed a.jpg"}));
    EXPECT_EQ(ProbeFile(avi, true).streams.at(0).nbReadFrames, 1);
}

TEST_F(PixreelProgramTest, InterruptStopsBetweenFramesAndCompletesTheFile) {
    Image("a.jpg", 64, 64, 1);
    Image("b.jpg", 64, 64, 2);
    WriteIni("UseFrameTime=1\nAVIFrameTime=4000000\nFramesPerSec=5");  // 20000 frames each
    const std::string iniBefore = ReadFileBytes(Ini());
    TempDir scratch;
    PixreelProcess process({"-d", In(), "-o", "long"}, Ini(), scratch.path().string());
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (process.OutputSoFar().find("Processed a.jpg") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    process.Signal(SIGINT);
    PixreelResult result = process.Wait();
    EXPECT_EQ(result.status, 130);
    std::vector<std::string> lines = JobLines(result);
    ASSERT_EQ(lines.size(), 5u) << result.out;
    EXPECT_EQ(lines[2], "Abort processing request");
    EXPECT_EQ(lines[3], "Stopping Processing");
    EXPECT_EQ(lines[4], "Processing stopped by user");
    int64_t frames = Frames("long.avi");
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 20000);
    // The stop ends the command-line run, but the close keeps the settings as they were.
    EXPECT_EQ(ReadFileBytes(Ini()), iniBefore);
}
