#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "config/CommandLineOverlay.h"
#include "engine/ConversionView.h"
#include "engine/PixreelDoc.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"
#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

using namespace std::chrono_literals;

namespace {

class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("in"));
        std::filesystem::create_directories(dir.file("out"));
        UseIni("");
    }

    // Input from in/ in name order, output v.avi in out/, uncompressed frames remembered, no
    // name stream; `config` and `detect` add keys to the two sections.
    void UseIni(const std::string& config, const std::string& detect = "") {
        ini.reset();
        ini = std::make_unique<IniScope>(
            dir.file("pixreel.ini"),
            "[Config]\nJPGDir=" + dir.file("in") + "\nOutputPath=" + dir.file("out") +
                "\nJPGSortOrder=2\nVideoFile=v\nRememberCodec=1\n" + config +
                "\n[Detect]\nDisplayFileNames=0\n" + detect + "\n[Codec]\nfccHandler=541215044\n");
    }

    void Image(const std::string& name, uint32_t width, uint32_t height, uint32_t seed = 1) {
        WriteJpeg(dir.file("in/" + name), width, height, Pattern(seed));
    }

    // The view as a front end sets it up: settings, form, output style, the filled list.
    CConversionView& View(int helpers = 1) {
        CConversionView::Options options;
        options.helpers = helpers;
        options.storeFormOnExit = false;
        options.workerPriority = THREAD_PRIORITY_NORMAL;
        view = std::make_unique<CConversionView>(services, doc, options);
        view->ReloadSettings();
        Settings settings = view->CurrentSettings();
        view->SetForm(FormValues::FromSettings(settings));
        doc.SetOutputStyle(settings.AVIStyle);
        view->Files().Populate(true, true, settings);
        return *view;
    }

    void SetForm(const std::function<void(FormValues&)>& change) {
        FormValues form = view->Form();
        change(form);
        view->SetForm(form);
        doc.SetOutputStyle(form.AVIStyle);
    }

    void WaitForWorker() {
        auto deadline = std::chrono::steady_clock::now() + 60s;
        while (view->IsWorkerAlive() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        ASSERT_FALSE(view->IsWorkerAlive());
    }

    ProbeStream Video(const std::string& avi) {
        ProbeResult probe = ProbeFile(dir.file("out/" + avi), true);
        EXPECT_TRUE(probe.ok) << probe.raw;
        return probe.streams.empty() ? ProbeStream{} : probe.streams[0];
    }

    // Frames of the video stream; ffprobe reports none at all for a stream without frames.
    int64_t Frames(const std::string& avi) {
        ProbeStream video = Video(avi);
        EXPECT_EQ(video.codecType, "video");
        return video.nbReadFrames < 0 ? 0 : video.nbReadFrames;
    }

    std::string Out(const std::string& name) { return dir.file("out/" + name); }

    TempDir dir;
    std::unique_ptr<IniScope> ini;
    BoxRecorder boxes;
    JobServices services;
    CPixreelDoc doc{services};
    std::unique_ptr<CConversionView> view;
};

}  // namespace

TEST_F(ConversionTest, NothingSelected) {
    CConversionView& v = View();
    v.ProcessFiles();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"No files have been selected. Please select some."});
    EXPECT_TRUE(services.Lines().empty());
    EXPECT_EQ(services.closes, 0);
    EXPECT_TRUE(v.LastJob().nothingSelected);

    // Under AutoStop the program closes at once instead.
    UseIni("", "AutoStop=1");
    View().ProcessFiles();
    EXPECT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(services.closes, 1);
    EXPECT_FALSE(doc.IsAviOpen());
}

TEST_F(ConversionTest, FirstFileUnreadableEndsTheJob) {
    WriteFileBytes(dir.file("in/a.jpg"), "not a picture");
    Image("b.jpg", 16, 16);
    UseIni("", "AutoStop=1");
    View().ProcessFiles();
    // The line names the toolkit's reason; the pane keeps it short.
    const std::string line = "Failed to open a.jpg: Not a JPEG file: starts with 0x6e 0x6f";
    EXPECT_EQ(services.Lines(), std::vector<std::string>{line});
    EXPECT_EQ(services.RedLines(), std::vector<std::string>{line});
    EXPECT_EQ(services.PaneText(ID_INDICATOR_FILE_NAME), "Failed to open a.jpg");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{line});
    EXPECT_EQ(services.closes, 1);
    EXPECT_FALSE(std::filesystem::exists(Out("v.avi")));
}

TEST_F(ConversionTest, EveryFileGetsItsLineAndTheRunGoesOn) {
    Image("a.jpg", 40, 30, 1);
    WriteFileBytes(dir.file("in/b.jpg"), "");  // empty file
    Image("c.jpg", 20, 20, 2);
    Image("d.jpg", 40, 30, 3);
    CConversionView& v = View();
    v.ProcessFiles();
    EXPECT_EQ(services.Lines(),
              (std::vector<std::string>{"Opened AVI file " + Out("v.avi"), "Processed a.jpg",
                                        "Failed to open b.jpg: Empty input file",
                                        "Bitmap file is a different size c.jpg", "Processed d.jpg"}));
    EXPECT_EQ(services.RedLines(), (std::vector<std::string>{"Failed to open b.jpg: Empty input file",
                                                             "Bitmap file is a different size c.jpg"}));
    EXPECT_EQ(services.PaneText(ID_INDICATOR_FILE_COUNT), "4");
    EXPECT_EQ(services.PaneText(ID_INDICATOR_FAILURES), "2");
    EXPECT_EQ(services.PaneText(ID_INDICATOR_FILE_NUMBER), "4");
    EXPECT_EQ(services.CountOf("MarkConverted"), 2);
    std::vector<FileList::Entry> entries = v.Files().Entries();
    EXPECT_TRUE(entries[0].converted);
    EXPECT_FALSE(entries[1].converted);
    EXPECT_FALSE(entries[2].converted);
    EXPECT_TRUE(entries[3].converted);
    JobSummary job = v.LastJob();
    EXPECT_EQ(job.written, 2);
    EXPECT_EQ(job.unreadable, 1);
    EXPECT_EQ(job.wrongSize, 1);
    // The single output stays open for later conversions until it is closed.
    EXPECT_TRUE(doc.IsAviOpen());
    doc.CloseAvi();
    EXPECT_EQ(Frames("v.avi"), 2);
    EXPECT_EQ(Video("v.avi").width, 40);
}

TEST_F(ConversionTest, NamesReplacedByOtherKindsOfFileAreRefusedAtOnce) {
    for (uint32_t i = 0; i < 4; ++i)
        Image(NumberedName("", i, ".jpg"), 16, 16, i);
    CConversionView& v = View();
    // After the listing, one name becomes a FIFO that nobody writes to, another a folder.
    std::filesystem::remove(dir.file("in/1.jpg"));
    ASSERT_EQ(::mkfifo(dir.file("in/1.jpg").c_str(), 0600), 0);
    std::filesystem::remove(dir.file("in/2.jpg"));
    std::filesystem::create_directory(dir.file("in/2.jpg"));
    v.OnProcessFiles();
    WaitForWorker();
    EXPECT_EQ(services.Lines(), (std::vector<std::string>{"Opened AVI file " + Out("v.avi"), "Processed 0.jpg",
                                                          "Failed to open 1.jpg: Not a regular file",
                                                          "Failed to open 2.jpg: Is a directory", "Processed 3.jpg"}));
}

TEST_F(ConversionTest, ReferenceSizeIsTakenAfterTheTransforms) {
    Image("a.jpg", 40, 30);
    Image("b.jpg", 64, 48);
    Image("c.jpg", 20, 10);
    CConversionView& v = View();
    SetForm([](FormValues& form) {
        form.AVIScale = 1;
        form.AVIXScale = 32;
        form.AVIXYcale = 24;
        form.AVIRotate = 1;
        form.AVIRotateAngle = 90;
    });
    v.ProcessFiles();
    EXPECT_TRUE(services.RedLines().empty());
    doc.CloseAvi();
    ProbeStream video = Video("v.avi");
    EXPECT_EQ(video.nbReadFrames, 3);
    EXPECT_EQ(video.width, 24);  // the rotated canvas of the scaled picture
    EXPECT_EQ(video.height, 32);
}

TEST_F(ConversionTest, PerImageStyleOpensAnOutputEvenForAWrongSize) {
    Image("a.jpg", 40, 30);
    Image("b.jpg", 20, 20);
    UseIni("AVIStyle=0");
    View().ProcessFiles();
    EXPECT_EQ(services.Lines(),
              (std::vector<std::string>{"Opened AVI file " + Out("a.avi"), "Processed a.jpg",
                                        "The AVI file has been closed", "Opened AVI file " + Out("b.avi"),
                                        "Bitmap file is a different size b.jpg"}));
    EXPECT_FALSE(doc.IsAviOpen());  // the job closes the last one
    EXPECT_EQ(Frames("a.avi"), 1);
    EXPECT_EQ(Frames("b.avi"), 0);
}

TEST_F(ConversionTest, FrameTimesGiveFramesPerImage) {
    Image("a.jpg", 16, 16, 1);
    Image("b.jpg", 16, 16, 2);
    struct Case {
        int use, time, fps;
        int64_t framesPerImage;
    };
    for (Case c : {Case{1, 2000, 5, 10}, Case{1, 150, 5, 0}, Case{0, 2000, 5, 1}, Case{1, -5, 5, 1},
                   Case{1, 0, 5, 1}, Case{1, 2000, 0, 2}}) {
        SCOPED_TRACE(std::to_string(c.time) + " ms at " + std::to_string(c.fps));
        services.Reset();
        UseIni("FramesPerSec=" + std::to_string(c.fps));
        View();
        SetForm([&](FormValues& form) {
            form.UseFrameTime = c.use;
            form.AVIFrameTime = c.time;
        });
        view->ProcessFiles();
        doc.CloseAvi();
        EXPECT_EQ(Frames("v.avi"), 2 * c.framesPerImage);
        // An image is logged once, however many frames it gets; with none it logs nothing.
        EXPECT_EQ(services.Lines().size(), c.framesPerImage ? 3u : 1u);
        EXPECT_EQ(services.CountOf("BlinkActivity"), 2 * c.framesPerImage);
    }
}

TEST_F(ConversionTest, StopIsTakenBetweenFrames) {
    Image("a.jpg", 16, 16, 1);
    Image("b.jpg", 16, 16, 2);
    UseIni("", "AutoStop=1");
    CConversionView& v = View();
    SetForm([](FormValues& form) {
        form.UseFrameTime = 1;
        form.AVIFrameTime = 2000;
    });
    int blinks = 0;
    services.onBlink = [&] {
        if (++blinks == 3)
            v.StopRequested = 1;  // while frame 3 is about to be written
    };
    v.ProcessFiles();
    EXPECT_EQ(services.Lines(), (std::vector<std::string>{"Opened AVI file " + Out("v.avi"), "Processed a.jpg",
                                                           "Stopping Processing"}));
    EXPECT_EQ(v.StopRequested, 0);
    EXPECT_TRUE(v.LastJob().stopped);
    EXPECT_EQ(services.closes, 0);  // a stopped run stays open
    doc.CloseAvi();
    EXPECT_EQ(Frames("v.avi"), 3);  // the frame being written was finished

    // The event alone stops a job too (the flag may already have been read).
    services.Reset();
    services.onBlink = nullptr;
    v.m_hStopVideoEvent.Set();
    v.ProcessFiles();
    EXPECT_EQ(services.Lines().back(), "Stopping Processing");
    EXPECT_FALSE(v.m_hStopVideoEvent.Wait(0));
}

TEST_F(ConversionTest, AnOutputCanBeCompletedWhileItsWorkerIsStuck) {
    Image("a.jpg", 16, 16, 1);
    Image("b.jpg", 16, 16, 2);
    CConversionView& v = View();
    // The worker gets stuck before its second frame (as in a read that never returns).
    std::atomic<int> blinks{0};
    std::atomic<bool> release{false};
    services.onBlink = [&] {
        if (++blinks == 2) {
            while (!release)
                std::this_thread::sleep_for(1ms);
        }
    };
    v.OnProcessFiles();
    while (blinks < 2)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(doc.CloseForExit(1000ms));
    EXPECT_FALSE(doc.IsAviOpen());
    const ProbeStream closed = Video("v.avi");
    EXPECT_EQ(closed.nbFrames, 1) << "the header counts the frame written";
    EXPECT_EQ(closed.nbReadFrames, 1);
    const std::string bytes = ReadFileBytes(Out("v.avi"));
    // Should the worker go on after all, it leaves the completed file alone.
    release = true;
    WaitForWorker();
    EXPECT_EQ(ReadFileBytes(Out("v.avi")), bytes);
}

TEST_F(ConversionTest, PendingStopEndsTheNextJobAtItsFirstFrame) {
    Image("a.jpg", 16, 16);
    InstallCommandLineOverlay();
    SetProcessCommandLineText(("pixreel -d " + dir.file("in")).c_str());
    CConversionView& v = View();
    EXPECT_EQ(v.CurrentSettings().AutoStop, 1);  // a command-line run closes at its end...
    v.OnStopProcessing();
    EXPECT_EQ(v.CurrentSettings().AutoStop, 0);  // ...until it is stopped
    EXPECT_EQ(services.Lines(), (std::vector<std::string>{"Abort processing request", "Processing stopped by user"}));
    EXPECT_STREQ(GetCommandLineA(), "");  // the run is no longer a command-line run
    v.OnProcessFiles();
    WaitForWorker();
    std::vector<std::string> lines = services.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Opened AVI file " + Out("v.avi"));
    EXPECT_EQ(lines[3], "Stopping Processing");
    EXPECT_EQ(v.StopRequested, 0);

    // The command line no longer applies: a new conversion runs to its end and, with AutoStop 0
    // in the settings file, no longer closes the program.
    v.OnProcessFiles();
    WaitForWorker();
    EXPECT_EQ(services.Lines().back(), "Processed a.jpg");
    EXPECT_EQ(services.closes, 0);
}

TEST_F(ConversionTest, SingleOutputIsAppendedToAcrossJobs) {
    Image("a.jpg", 40, 30, 1);
    Image("b.jpg", 40, 30, 2);
    CConversionView& v = View();
    v.ProcessFiles();
    // A second conversion of other files: same size appends, another size is refused even though
    // it is this job's own reference size.
    std::filesystem::remove(dir.file("in/a.jpg"));
    std::filesystem::remove(dir.file("in/b.jpg"));
    Image("c.jpg", 40, 30, 3);
    Image("d.jpg", 20, 20, 4);
    Image("e.jpg", 20, 20, 5);
    View().ProcessFiles();
    std::vector<std::string> lines = services.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Opened AVI file " + Out("v.avi")), 1);
    EXPECT_EQ(lines.back(), "Bitmap file is a different size e.jpg");
    doc.CloseAvi();
    EXPECT_EQ(Frames("v.avi"), 3);
}

TEST_F(ConversionTest, CommandsWhileAJobRuns) {
    for (int i = 0; i < 3; ++i)
        Image(NumberedName("f", i, ".jpg"), 16, 16, static_cast<uint32_t>(i));
    CConversionView& v = View();
    SetForm([](FormValues& form) {
        form.UseFrameTime = 1;
        form.AVIFrameTime = 100000;  // 500 frames per image
    });
    services.onBlink = [] { std::this_thread::sleep_for(1ms); };
    v.OnProcessFiles();
    while (services.CountOf("BlinkActivity") < 5)
        std::this_thread::sleep_for(1ms);

    // A second start and a close of the output are refused while it runs.
    v.OnProcessFiles();
    v.OnCloseAviFile();
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Please wait files are still being processed",
                                                        "Please wait files are still being processed"}));
    EXPECT_TRUE(v.IsWorkerAlive());

    // Closing asks; No keeps everything running.
    boxes.AnswerWith(IDNO);
    EXPECT_FALSE(v.OnCloseRequest());
    EXPECT_EQ(boxes.Texts().back(), "Warning: Files are still being processed are you sure  you want to stop?");
    EXPECT_TRUE(v.IsWorkerAlive());

    // Stop: the request, the job's own line, then the end once the job has ended.
    v.OnStopProcessing();
    EXPECT_FALSE(v.IsWorkerAlive());
    std::vector<std::string> lines = services.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Abort processing request");
    EXPECT_EQ(lines[lines.size() - 2], "Stopping Processing");
    EXPECT_EQ(lines.back(), "Processing stopped by user");

    // Yes closes: the output is completed.
    boxes.AnswerWith(IDYES);
    EXPECT_TRUE(v.OnCloseRequest());
    EXPECT_FALSE(doc.IsAviOpen());
    EXPECT_GT(Frames("v.avi"), 4);
    EXPECT_EQ(v.Files().Count(), 0);
}

TEST_F(ConversionTest, UnattendedEndClosesWithoutAQuestion) {
    Image("a.jpg", 16, 16);
    UseIni("", "AutoStop=1");
    CConversionView& v = View();
    v.OnProcessAllFiles();
    WaitForWorker();
    EXPECT_EQ(services.closes, 1);
    EXPECT_TRUE(v.OnCloseRequest());
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(doc.IsAviOpen());
    EXPECT_EQ(Frames("v.avi"), 1);
}

TEST_F(ConversionTest, ExitWaitsForAWorkerItGaveUpOn) {
    Image("a.jpg", 16, 16, 1);
    Image("b.jpg", 16, 16, 2);
    CConversionView& v = View();
    // The first frame takes longer than the close is prepared to wait.
    std::atomic<bool> writing{false};
    services.onBlink = [&] {
        if (services.CountOf("BlinkActivity") == 0) {
            writing = true;
            std::this_thread::sleep_for(7500ms);
        }
    };
    v.OnProcessFiles();
    while (!writing)
        std::this_thread::sleep_for(1ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(v.OnCloseRequest());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 7000ms);
    EXPECT_TRUE(v.IsWorkerAlive());  // given up on, not killed
    EXPECT_EQ(boxes.Texts().back(), "Please wait files are still being processed");
    v.Shutdown();
    EXPECT_FALSE(v.IsWorkerAlive());
    EXPECT_FALSE(doc.IsAviOpen());
    // The frame it was writing is whole, and nothing came after the stop.
    EXPECT_EQ(Frames("v.avi"), 1);
}

TEST_F(ConversionTest, StartUpLinesCommandsAndList) {
    Image("a.jpg", 16, 16);
    UseIni("AutoProcess=1");
    CConversionView::Options options;
    options.helpers = 0;
    view = std::make_unique<CConversionView>(services, doc, options);
    view->InitialUpdate();
    std::vector<std::string> lines = services.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Pixreel Version Linux 1.0.0");
    EXPECT_EQ(lines[1], "Copyright \xC2\xA9 2026 Tavrin Ltd");
    EXPECT_TRUE(IsDateLine(lines[2])) << lines[2];
    EXPECT_EQ(services.commands, std::vector<int>{ID_PROCESS_FILES});
    EXPECT_EQ(view->Files().Count(), 1);
    EXPECT_TRUE(view->Files().Entries()[0].selected);
    // The filled list wakes the preview thread.
    for (int i = 0; i < 1000 && services.previews == 0; ++i)
        std::this_thread::sleep_for(2ms);
    EXPECT_EQ(services.previews, 1);

    // Without an input directory the configuration dialog is asked for first.
    services.commands.clear();
    ini.reset();
    ini = std::make_unique<IniScope>(dir.file("empty.ini"), "[Config]\nAutoProcess=1\n");
    view = std::make_unique<CConversionView>(services, doc, options);
    view->InitialUpdate();
    EXPECT_EQ(services.commands, (std::vector<int>{ID_PROPERTIES, ID_PROCESS_FILES}));
}
