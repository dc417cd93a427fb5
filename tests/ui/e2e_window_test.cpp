// The real pixreel program with its window on the test display, driven from outside with keys:
// an interactive conversion, an unattended run that minimises and closes by itself, the single
// interactive instance, the close question and Stop. Results are checked in files.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/Ffprobe.h"
#include "support/TempDir.h"
#include "support/TestImages.h"
#include "support/WindowProgram.h"
#include "support/XDisplay.h"

namespace fs = std::filesystem;

namespace {

// Windows titled "Pixreel" by size: the main window is large, its message boxes are not.
std::vector<std::string> PixreelWindows(bool main) {
    std::vector<std::string> found;
    for (const std::string& window : FindWindows("^Pixreel$")) {
        const WindowGeometry geometry = GetWindowGeometry(window);
        if (geometry.width > 16 && (geometry.width >= 600) == main)
            found.push_back(window);
    }
    return found;
}

bool Minimised(const std::string& window) {
    return RunOnDisplay({"xprop", "-id", window, "WM_STATE"}).find("Iconic") != std::string::npos;
}

class WindowProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.file("in"));
        fs::create_directories(dir.file("out"));
        fs::create_directories(dir.file("run"));
        // Tool tips would open windows of their own under the pointer.
        RunOnDisplay({"xdotool", "mousemove", "0", "0"});
    }

    // Lists in/ in A-Z order, writes to out/ and keeps uncompressed frames; `config` adds keys.
    void WriteIni(const std::string& config) {
        WriteFileBytes(Ini(), "[Config]\nJPGDir=" + dir.file("in") + "/\nOutputPath=" + dir.file("out") +
                                  "/\nJPGSortOrder=2\nRememberCodec=1\nDisplayToolTips=0\n" + config +
                                  "\n[Codec]\nfccHandler=541215044\n");
    }
    void Images(int count, uint32_t width = 160, uint32_t height = 120) {
        for (int i = 1; i <= count; ++i)
            WriteJpeg(dir.file("in/p" + std::to_string(100 + i) + ".jpg"), width, height, Pattern(i));
    }
    std::string Ini() { return dir.file("pixreel.ini"); }
    std::unique_ptr<WindowProgram> Start(const std::vector<std::string>& args = {}) {
        return std::make_unique<WindowProgram>(args, Ini(), dir.file("run"));
    }
    std::string MainWindow() {
        std::string window;
        WaitUntil(
            [&] {
                std::vector<std::string> found = PixreelWindows(true);
                window = found.empty() ? "" : found.front();
                return !window.empty();
            },
            15000);
        return window;
    }
    std::vector<std::string> Avis() {
        std::vector<std::string> avis;
        for (const auto& entry : fs::directory_iterator(dir.file("out")))
            avis.push_back(entry.path().string());
        std::sort(avis.begin(), avis.end());
        return avis;
    }
    int64_t Frames(const std::string& avi) {
        const ProbeResult probe = ProbeFile(avi, true);
        EXPECT_TRUE(probe.ok) << probe.raw;
        return probe.streams.empty() ? -1 : probe.streams[0].nbReadFrames;
    }

    TempDir dir;
};

// A conversion that takes long: every picture shown for an hour, one frame a second.
const std::string kLongConversion = "UseFrameTime=1\nAVIFrameTime=3600000\nFramesPerSec=1";

}  // namespace

TEST_F(WindowProgramTest, InteractiveStartConvertsTheSelectionWithCtrlP) {
    PIXREEL_REQUIRE_DISPLAY();
    Images(4);
    WriteIni("AVIStyle=0");
    auto program = Start();
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << program->Errors();
    EXPECT_TRUE(Screenshot(window, dir.file("window.png")));

    SendKeys(window, "ctrl+p");
    // One AVI per picture, each closed once its frame is written.
    ASSERT_TRUE(WaitUntil([&] { return Avis().size() == 4; }, 15000));
    SendKeys(window, "alt+F4");
    int status = -1;
    ASSERT_TRUE(program->WaitForExit(15000, status));
    EXPECT_EQ(status, 0);
    for (const std::string& avi : Avis())
        EXPECT_EQ(Frames(avi), 1) << avi;
    // The close stored the form.
    EXPECT_NE(ReadFileBytes(Ini()).find("AVIStyle=0"), std::string::npos);
    EXPECT_NE(ReadFileBytes(Ini()).find("UseBrightness=0"), std::string::npos);
}

TEST_F(WindowProgramTest, UnattendedRunConvertsAndClosesByItself) {
    PIXREEL_REQUIRE_DISPLAY();
    Images(6);
    WriteIni("");
    const std::string before = ReadFileBytes(Ini());
    auto program = Start({"-d", dir.file("in"), "-o", "run", "-l", dir.file("run.log")});
    int status = -1;
    ASSERT_TRUE(program->WaitForExit(30000, status)) << "did not close by itself";
    EXPECT_EQ(status, 0) << program->Errors();
    EXPECT_EQ(Frames(dir.file("out/run.avi")), 6);
    const std::string log = ReadFileBytes(dir.file("run.log"));
    EXPECT_NE(log.find("Processed p106.jpg"), std::string::npos) << log;
    EXPECT_EQ(ReadFileBytes(Ini()), before);  // a command-line run stores nothing
}

TEST_F(WindowProgramTest, UnattendedRunMinimisesAndWaitsForABoxOfTheConversion) {
    PIXREEL_REQUIRE_DISPLAY();
    // The first picture does not decode: the conversion shows a box and waits for it.
    WriteFileBytes(dir.file("in/p100.jpg"), "not a picture");
    Images(2);
    WriteIni("");
    auto program = Start({"-d", dir.file("in"), "-o", "boxed", "-l", dir.file("run.log")});
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << program->Errors();
    EXPECT_TRUE(WaitUntil([&] { return Minimised(window); }, 6000)) << "not minimised";
    EXPECT_TRUE(program->Running());
    RunOnDisplay({"xdotool", "windowactivate", "--sync", window});
    ASSERT_TRUE(WaitUntil([] { return !PixreelWindows(false).empty(); }, 10000));
    SendKeys(PixreelWindows(false).front(), "Return");
    int status = -1;
    ASSERT_TRUE(program->WaitForExit(20000, status)) << "did not close after the box";
    EXPECT_EQ(status, 2);  // no output could be made
    EXPECT_NE(ReadFileBytes(dir.file("run.log")).find("Failed to open p100.jpg"), std::string::npos);
}

TEST_F(WindowProgramTest, SecondInteractiveStartRaisesTheFirst) {
    PIXREEL_REQUIRE_DISPLAY();
    WriteIni("");
    auto first = Start();
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << first->Errors();
    RunOnDisplay({"xdotool", "windowminimize", "--sync", window});
    ASSERT_TRUE(WaitUntil([&] { return Minimised(window); }, 5000));

    auto second = Start();
    int status = -1;
    ASSERT_TRUE(second->WaitForExit(15000, status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Minimised(window); }, 5000));
    EXPECT_EQ(PixreelWindows(true).size(), 1u);

    // A start with arguments always runs on its own: here it finds nothing and closes.
    auto commandLine = Start({"-d", dir.file("out")});
    ASSERT_TRUE(commandLine->WaitForExit(15000, status));
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(first->Running());
}

TEST_F(WindowProgramTest, CloseQuestionKeepsTheRunOnNoAndClosesWithACompleteAviOnYes) {
    PIXREEL_REQUIRE_DISPLAY();
    Images(2);
    WriteIni(kLongConversion);
    auto program = Start();
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << program->Errors();
    SendKeys(window, "ctrl+p");
    ASSERT_TRUE(WaitUntil([&] { return Avis().size() == 1 && fs::file_size(Avis()[0]) > 100000; }, 15000));

    SendKeys(window, "alt+F4");
    ASSERT_TRUE(WaitUntil([] { return !PixreelWindows(false).empty(); }, 10000));
    SendKeys(PixreelWindows(false).front(), "Escape");  // No
    ASSERT_TRUE(WaitUntil([] { return PixreelWindows(false).empty(); }, 10000));
    const uintmax_t size = fs::file_size(Avis()[0]);
    EXPECT_TRUE(WaitUntil([&] { return fs::file_size(Avis()[0]) > size; }, 5000)) << "the conversion stopped";
    EXPECT_TRUE(program->Running());

    SendKeys(window, "alt+F4");
    ASSERT_TRUE(WaitUntil([] { return !PixreelWindows(false).empty(); }, 10000));
    SendKeys(PixreelWindows(false).front(), "Return");  // Yes, the default
    int status = -1;
    ASSERT_TRUE(program->WaitForExit(20000, status));
    EXPECT_EQ(status, 0);
    // Every frame written is in the file's index: the output was closed, not cut off.
    const ProbeResult probe = ProbeFile(Avis()[0], true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_GT(probe.streams.at(0).nbReadFrames, 0);
    EXPECT_EQ(probe.streams.at(0).nbReadFrames, probe.streams.at(0).nbFrames);
}

TEST_F(WindowProgramTest, StopEndsACommandLineRunWhichThenStaysOpen) {
    PIXREEL_REQUIRE_DISPLAY();
    Images(2);
    WriteIni(kLongConversion);
    auto program = Start({"-d", dir.file("in"), "-o", "stopped", "-l", dir.file("run.log")});
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << program->Errors();
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(dir.file("run.log")).find("Opened AVI file") != std::string::npos; },
                          15000));
    SendKeys(window, "Escape");
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFileBytes(dir.file("run.log")).find("Processing stopped by user") != std::string::npos; },
        15000));
    const std::string log = ReadFileBytes(dir.file("run.log"));
    EXPECT_LT(log.find("Abort processing request"), log.find("Stopping Processing"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_TRUE(program->Running()) << "a stopped run stays open";

    SendKeys(window, "alt+F4");
    int status = -1;
    ASSERT_TRUE(program->WaitForExit(15000, status));
    EXPECT_EQ(status, 130);  // interrupted, as on the console
    const ProbeResult probe = ProbeFile(dir.file("out/stopped.avi"), true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_EQ(probe.streams.at(0).nbReadFrames, probe.streams.at(0).nbFrames);
}

// A close asked for while the worker waits for the Select Codec answer must neither deadlock nor
// lose the output: whatever the window shows next (the dialog, the close question, a message)
// is answered with its default until the program has ended, and every file it wrote is whole.
TEST_F(WindowProgramTest, CloseDuringSelectCodecEndsWithoutDeadlockAndLeavesWholeFiles) {
    PIXREEL_REQUIRE_DISPLAY();
    Images(2);
    WriteFileBytes(Ini(), "[Config]\nJPGDir=" + dir.file("in") + "/\nOutputPath=" + dir.file("out") +
                              "/\nJPGSortOrder=2\nRememberCodec=0\nDisplayToolTips=0\nAutoProcess=1\n");
    auto program = Start();
    const std::string window = MainWindow();
    ASSERT_FALSE(window.empty()) << program->Errors();
    ASSERT_FALSE(WaitForWindow("^Select Codec$", 15000).empty()) << program->Errors();

    // The window manager's close key, with the modal dialog in front as a user finds it.
    RunOnDisplay({"xdotool", "key", "--clearmodifiers", "alt+F4"});
    int status = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!program->WaitForExit(300, status) && std::chrono::steady_clock::now() < end) {
        if (const auto codec = FindWindows("^Select Codec$"); !codec.empty())
            SendKeys(codec.front(), "Escape");
        else if (const auto boxes = PixreelWindows(false); !boxes.empty())
            SendKeys(boxes.front(), "Return");
        else if (const auto main = PixreelWindows(true); !main.empty())
            SendKeys(main.front(), "alt+F4");
    }
    ASSERT_FALSE(program->Running()) << "the program did not end: " << program->Errors();
    for (const std::string& avi : Avis()) {
        const ProbeResult probe = ProbeFile(avi, true);
        ASSERT_TRUE(probe.ok) << avi << ": " << probe.raw;
        EXPECT_EQ(probe.streams.at(0).nbReadFrames, probe.streams.at(0).nbFrames) << avi;
    }
}
