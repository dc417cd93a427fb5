// The pixreel program in the unlucky cases of an unattended night: stops that arrive twice,
// inputs and settings that are not files, full disks, outputs that another run holds. Each
// run must end, say why, leave a whole file and answer a true exit status.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "base/ByteOrder.h"
#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/PixreelRun.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(PixreelProgram())) << "build the pixreel program first";
        fs::create_directories(In());
        fs::create_directories(dir.file("out"));
        WriteIni("");
    }

    // Output to out/ (or `outputPath`), names in A-Z order, uncompressed frames remembered.
    void WriteIni(const std::string& config, const std::string& outputPath = "") {
        WriteFileBytes(Ini(), "[Config]\nOutputPath=" + (outputPath.empty() ? dir.file("out") + "/" : outputPath) +
                                  "\nJPGSortOrder=2\nRememberCodec=1\n" + config +
                                  "\n[Codec]\nfccHandler=541215044\nCodecName=Full Frames (Uncompressed)\n");
    }
    std::string Ini() { return dir.file("pixreel.ini"); }
    std::string In() { return dir.file("in"); }
    std::string Out(const std::string& name) { return dir.file("out/" + name); }
    void Image(const std::string& name, uint32_t size, uint32_t seed) {
        WriteJpeg(In() + "/" + name, size, size, Pattern(seed));
    }
    // A run that shows each image for 20000 frames: long enough to be stopped in the middle.
    void LongFrameTimes() { WriteIni("UseFrameTime=1\nAVIFrameTime=4000000\nFramesPerSec=5"); }

    // Starts a run and waits until its first image has a frame in the file.
    std::unique_ptr<PixreelProcess> StartLongRun(const std::string& output, const TempDir& scratch) {
        auto process = std::make_unique<PixreelProcess>(std::vector<std::string>{"-d", In(), "-o", output}, Ini(),
                                                        scratch.path().string());
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (process->OutputSoFar().find("Processed a.jpg") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return process;
    }

    // The shell command that runs pixreel as RunPixreel does, ended by `timeout` after the seconds
    // with the signal: a run that hangs fails its test instead of holding the suite.
    std::string Command(const std::vector<std::string>& args, const std::string& ini, int seconds = 60,
                        const std::string& signal = "KILL") {
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY PIXREEL_INI=" + ShellQuote(ini) + " timeout -s " +
                              signal + " " + std::to_string(seconds) + " " + ShellQuote(PixreelProgram());
        for (const std::string& arg : args) {
            command += " ";
            command += ShellQuote(arg);
        }
        return command + " </dev/null";
    }
    PixreelResult Run(const std::vector<std::string>& args) {
        TempDir scratch;
        PixreelResult result;
        RunCommand(Command(args, Ini()) + " >" + scratch.file("out") + " 2>" + scratch.file("err"), &result.status);
        result.out = ReadFileBytes(scratch.file("out"));
        result.err = ReadFileBytes(scratch.file("err"));
        return result;
    }
    // The lines after the three start-up lines.
    std::vector<std::string> JobLines(const PixreelResult& result) {
        std::vector<std::string> lines = result.Lines();
        return std::vector<std::string>(lines.begin() + std::min<size_t>(3, lines.size()), lines.end());
    }

    TempDir dir;
};

// What a finished AVI has and a cut-off one lacks: RIFF and movi sizes that match the file, the
// idx1 index, and a header frame count equal to the frames a reader decodes. "" when whole.
std::string WhatIsMissing(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0)
        return "no RIFF header";
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (le::ReadU32(data + 4) + 8ull != bytes.size())
        return "RIFF size " + std::to_string(le::ReadU32(data + 4)) + " for " + std::to_string(bytes.size()) + " bytes";
    if (bytes.find("idx1") == std::string::npos)
        return "no idx1 index";
    if (bytes.find("ISFT") == std::string::npos)
        return "no INFO chunk";
    ProbeResult probe = ProbeFile(path, true);
    if (!probe.ok || probe.streams.empty())
        return "ffprobe: " + probe.raw;
    if (probe.streams[0].nbFrames != probe.streams[0].nbReadFrames || probe.streams[0].nbFrames <= 0)
        return "header says " + std::to_string(probe.streams[0].nbFrames) + " frames, ffprobe decodes " +
               std::to_string(probe.streams[0].nbReadFrames);
    return "";
}

}  // namespace

TEST_F(UnattendedTest, ASignalDeliveredTwiceStillCompletesTheFile) {
    Image("a.jpg", 32, 1);
    Image("b.jpg", 32, 2);
    LongFrameTimes();
    // `timeout` signals the process and then its whole group at once: two signals in a row.
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        TempDir scratch;
        const std::string name = NumberedName("twice", run, "");
        auto process = StartLongRun(name, scratch);
        process->Signal(SIGTERM);
        process->Signal(SIGTERM);
        PixreelResult result = process->Wait();
        EXPECT_EQ(result.status, 130) << result.err;
        EXPECT_EQ(WhatIsMissing(Out(name + ".avi")), "");
    }
    // And the real thing, twice.
    for (int run = 0; run < 2; ++run) {
        const std::string avi = Out(NumberedName("timeout", run, ".avi"));
        int status = -1;
        RunCommand(Command({"-d", In(), "-o", avi}, Ini(), 1, "TERM") + " >/dev/null 2>&1", &status);
        EXPECT_EQ(status, 124);  // timeout's own answer for a command it had to stop
        EXPECT_EQ(WhatIsMissing(avi), "");
    }
}

TEST_F(UnattendedTest, SettingsThatAreNotAFileGiveTheDefaults) {
    Image("a.jpg", 16, 1);
    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Nobody ever writes to the FIFO: an ordinary open of it would wait for ever.
    PixreelResult result;
    TempDir scratch;
    RunCommand(Command({"-d", In(), "-o", Out("v.avi")}, fifo) + " >" + scratch.file("out") + " 2>/dev/null",
               &result.status);
    result.out = ReadFileBytes(scratch.file("out"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(JobLines(result),
              (std::vector<std::string>{"The settings file " + fifo +
                                            " cannot be read (Not a regular file); the default settings are used",
                                        "Opened AVI file " + Out("v.avi"), "Processed a.jpg"}));
}

TEST_F(UnattendedTest, InputFoldersThatCannotBeReadHaveAStatusOfTheirOwn) {
    WriteFileBytes(dir.file("plain"), "x");
    fs::create_directories(dir.file("locked"));
    ::chmod(dir.file("locked").c_str(), 0);
    struct Case {
        std::string folder;
        std::string reason;
    };
    for (const Case& c : {Case{dir.file("missing"), "No such file or directory"},
                          Case{dir.file("plain"), "Not a directory"}, Case{dir.file("locked"), "Permission denied"}}) {
        if (c.reason == "Permission denied" && ::geteuid() == 0)
            continue;  // root reads it anyway
        SCOPED_TRACE(c.folder);
        PixreelResult result = Run({"-d", c.folder, "-o", "v"});
        EXPECT_EQ(result.status, 66);
        const std::string line = "The input folder " + c.folder + "/ cannot be read: " + c.reason;
        EXPECT_EQ(JobLines(result), std::vector<std::string>{line});
        EXPECT_NE(result.err.find(line), std::string::npos) << result.err;
    }
    ::chmod(dir.file("locked").c_str(), 0755);
    // An empty folder is not an error of the folder: nothing matched.
    EXPECT_EQ(Run({"-d", In(), "-o", "v"}).status, 3);
}

TEST_F(UnattendedTest, ARunThatWritesNoFrameMadeNoVideo) {
    Image("a.jpg", 16, 1);
    Image("b.jpg", 16, 2);
    // 150 ms at 5 frames per second is no whole frame.
    WriteIni("UseFrameTime=1\nAVIFrameTime=150\nFramesPerSec=5");
    PixreelResult result = Run({"-d", In(), "-o", "v"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(JobLines(result), std::vector<std::string>{"Opened AVI file " + Out("v.avi")});
}

TEST_F(UnattendedTest, AFullDiskOrASizeLimitIsNamedOnceAndEndsTheRun) {
    for (uint32_t i = 0; i < 40; ++i)
        Image(NumberedName("p", 100 + i, ".jpg"), 32, i);
    struct Case {
        std::string name;
        std::string before;  // shell commands that set the limit up
        int status;
        std::string reason;
    };
    // A 64 KiB file system holds about 17 frames of 3 KiB; a 32 KiB size limit about 8; a
    // 512-byte limit not even the first.
    const std::string mount = dir.file("small");
    fs::create_directories(mount);
    int unshareStatus = -1;
    RunCommand("unshare -rm true 2>/dev/null", &unshareStatus);
    const std::string mountSmall = "mount -t tmpfs -o size=64k tmpfs " + ShellQuote(mount);
    for (const Case& c : {Case{"tmpfs", mountSmall, 1, "No space left on device"},
                          Case{"limit", "ulimit -f 64", 1, "File too large"},
                          Case{"tiny", "ulimit -f 1", 2, "File too large"}}) {
        SCOPED_TRACE(c.name);
        const bool onTmpfs = c.name == "tmpfs";
        if (onTmpfs && unshareStatus != 0) {
            std::fprintf(stderr, "unshare -rm cannot mount a small file system here; the full disk is not tried\n");
            continue;
        }
        const std::string avi = onTmpfs ? mount + "/v.avi" : Out(c.name + ".avi");
        // The file on the small file system goes with its mount: a copy is kept for the checks.
        const std::string script = c.before + " && " + Command({"-d", In(), "-o", avi}, Ini()) + " >" +
                                   ShellQuote(dir.file("out.txt")) + " 2>/dev/null; echo $? >" +
                                   ShellQuote(dir.file("status")) + "; cp " + ShellQuote(avi) + " " +
                                   ShellQuote(Out("copy.avi")) + " 2>/dev/null";
        RunCommand(onTmpfs ? "unshare -rm sh -c " + ShellQuote(script) : "sh -c " + ShellQuote(script));
        EXPECT_EQ(std::atoi(ReadFileBytes(dir.file("status")).c_str()), c.status);
        const std::vector<std::string> lines = SplitLines(ReadFileBytes(dir.file("out.txt")));
        const std::string named = "Cannot write to " + avi + ": " + c.reason + ". The conversion stops here.";
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), named);
        EXPECT_EQ(lines[lines.size() - 2].rfind("Failed to process p1", 0), 0u) << lines[lines.size() - 2];
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Failed to write to the AVI file"), 0);
        if (c.status == 1) {
            // Readable up to the last frame that fitted, and the header says so.
            ProbeResult probe = ProbeFile(Out("copy.avi"), true);
            ASSERT_FALSE(probe.streams.empty()) << probe.raw;
            EXPECT_GT(probe.streams[0].nbReadFrames, 3);
            EXPECT_EQ(probe.streams[0].nbFrames, probe.streams[0].nbReadFrames);
        }
        fs::remove(Out("copy.avi"));
    }
}

TEST_F(UnattendedTest, ASecondRunLeavesAnOutputInUseAlone) {
    Image("a.jpg", 32, 1);
    Image("b.jpg", 32, 2);
    LongFrameTimes();
    TempDir scratch;
    auto first = StartLongRun("shared", scratch);
    PixreelResult second = Run({"-d", In(), "-o", "shared"});
    EXPECT_EQ(second.status, 2);
    const std::vector<std::string> refused{"Failed to open AVI file " + Out("shared.avi"),
                                           "Failed to open the AVI file. Or operation cancelled by user."};
    EXPECT_EQ(JobLines(second), refused);
    EXPECT_NE(second.err.find("The AVI file " + Out("shared.avi") + " is in use by another Pixreel"), std::string::npos)
        << second.err;
    // The first run's file is still there, and it completes it.
    first->Signal(SIGINT);
    EXPECT_EQ(first->Wait().status, 130);
    EXPECT_EQ(WhatIsMissing(Out("shared.avi")), "");
}

TEST_F(UnattendedTest, FileNamesCannotSteerTheTerminalOrForgeLogLines) {
    const std::string name = "a\x1b[2J\nProcessed forged.jpg";
    Image(name, 16, 1);
    const std::string log = dir.file("run.log");
    PixreelResult result = Run({"-d", In(), "-o", "names", "-l", log});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string shown = "Processed a\\x1b[2J\\nProcessed forged.jpg";
    EXPECT_EQ(JobLines(result), (std::vector<std::string>{"Opened AVI file " + Out("names.avi"), shown}));
    EXPECT_EQ(SplitLines(ReadFileBytes(log)).back(), shown);
    // The video's name stream and the file list keep the real name.
    EXPECT_EQ(StreamPayload(Out("names.avi"), 1), name + std::string(1, '\0'));
}

TEST_F(UnattendedTest, PicturesRefusedForTheirSizeOrDamagedSayWhy) {
    Image("a.jpg", 128, 1);
    Image("b.jpg", 128, 2);
    Image("c.jpg", 128, 3);
    // b.jpg cut off in its picture data still decodes; c.jpg claims 60000 x 60000 pixels in its
    // frame header.
    const std::string whole = ReadFileBytes(In() + "/b.jpg");
    WriteFileBytes(In() + "/b.jpg", whole.substr(0, whole.size() * 8 / 10));
    std::string huge = ReadFileBytes(In() + "/c.jpg");
    const size_t frame = huge.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    huge.replace(frame + 5, 4, "\xEA\x60\xEA\x60");  // height, width: 60000
    WriteFileBytes(In() + "/c.jpg", huge);

    PixreelResult result = Run({"-d", In(), "-o", "v"});
    EXPECT_EQ(result.status, 1);
    const std::vector<std::string> red{"b.jpg: Premature end of JPEG file",
                                       "Failed to open c.jpg: Image too large: 60000 x 60000 pixels"};
    EXPECT_EQ(JobLines(result), (std::vector<std::string>{"Opened AVI file " + Out("v.avi"), "Processed a.jpg", red[0],
                                                          "Processed b.jpg", red[1]}));
    EXPECT_EQ(SplitLines(result.err), red) << "each cause once, and nothing from the libraries";
}
