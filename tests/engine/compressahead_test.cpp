// Frames compressed ahead by the helpers: whatever the number of helpers, a conversion writes the
// same file bytes and the same log, with repeated, dropped, refused and converted images, a
// compressor failing in the middle of the run and a stop request.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/ConversionView.h"
#include "engine/PixreelDoc.h"
#include "platform/Codecs.h"
#include "platform/VideoCompressor.h"
#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

// Counts every compression and, when asked, fails the black frames.
std::atomic<int> gCompressions{0};
std::atomic<bool> gFailBlack{false};

bool CountAndFailBlack(const uint8_t* bits, uint64_t bytes) {
    ++gCompressions;
    if (!gFailBlack || bytes < 64)
        return false;
    for (uint64_t i = 0; i < 64; ++i)
        if (bits[i] > 4)
            return false;
    return true;
}

struct Case {
    const char* codec;
    bool grayInput;        // gray JPEGs (8-bit frames) with one colour image among them
    bool failBlack;        // the compressor fails on the black image
    int stopAtBlink;       // 0: run to the end
};

struct Outcome {
    std::string avi;
    std::vector<std::string> log;
    int compressions = 0;
};

class CompressAheadTest : public ::testing::Test {
protected:
    void SetUp() override { SetCompressFaultHook(&CountAndFailBlack); }
    void TearDown() override {
        SetCompressFaultHook(nullptr);
        gFailBlack = false;
    }

    // Ten images: two alike (the second is dropped), one of the other kind (converted to the
    // stream's format), one of another size (refused) and a black one.
    void MakeImages(bool gray) {
        std::filesystem::remove_all(dir.file("in"));
        std::filesystem::create_directories(dir.file("in"));
        for (uint32_t i = 0; i < 10; ++i) {
            const std::string path = dir.file("in/" + NumberedName("p", static_cast<int>(i), ".jpg"));
            const uint32_t seed = i == 3 ? 2 : i;
            const PixelFunction pixel = i == 8 ? SolidColor({0, 0, 0}) : Pattern(seed);
            WriteJpeg(path, i == 7 ? 48 : 64, 48, pixel, 90, i == 5 ? !gray : gray);
        }
    }

    Outcome Convert(const Case& c, int helpers) {
        std::filesystem::remove_all(dir.file("out"));
        std::filesystem::create_directories(dir.file("out"));
        IniScope ini(dir.file("pixreel.ini"),
                     "[Config]\nJPGDir=" + dir.file("in") + "\nOutputPath=" + dir.file("out") +
                         "\nJPGSortOrder=2\nVideoFile=v\nRememberCodec=1\nFramesPerSec=5\nUseFrameTime=1\n"
                         "AVIFrameTime=400\nWriteCopyright=0\n[Detect]\nDisplayFileNames=1\nMotionDeviation=1\n"
                         "Overwrite=1\n[Codec]\nfccHandler=" +
                             std::to_string(FourCC(c.codec)) + "\ndwQuality=8000\n");
        JobServices services;
        Outcome run;
        {
            CPixreelDoc doc(services);
            CConversionView::Options options;
            options.helpers = helpers;
            options.storeFormOnExit = false;
            options.workerPriority = THREAD_PRIORITY_NORMAL;
            CConversionView view(services, doc, options);
            view.ReloadSettings();
            view.SetForm(FormValues::FromSettings(view.CurrentSettings()));
            doc.SetOutputStyle(view.CurrentSettings().AVIStyle);
            view.Files().Populate(true, true, view.CurrentSettings());
            int blinks = 0;
            services.onBlink = [&] {
                if (++blinks == c.stopAtBlink)
                    view.StopRequested = 1;
            };
            gFailBlack = c.failBlack;
            gCompressions = 0;
            view.ProcessFiles();
            run.compressions = gCompressions;
            doc.CloseAvi();
        }
        run.avi = ReadFileBytes(dir.file("out/v.avi"));
        run.log = services.Lines();
        return run;
    }

    static DWORD FourCC(const char* code) { return mmioFOURCC(code[0], code[1], code[2], code[3]); }

    TempDir dir;
    BoxRecorder boxes;
};

}  // namespace

TEST_F(CompressAheadTest, EveryHelperCountWritesTheSameFileAndLog) {
    const Case cases[] = {
        {"DIB ", false, false, 0}, {"MJPG", false, false, 0}, {"FFV1", false, false, 0},
        {"HFYU", false, false, 0}, {"MPNG", false, false, 0}, {"ULRG", false, false, 0},
        {"MRLE", true, false, 0},  {"MJPG", false, true, 0},  {"MJPG", false, false, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + (c.failBlack ? ", failing" : "") + (c.stopAtBlink ? ", stopped" : ""));
        ICINFO info;
        if (std::string(c.codec) != "DIB " && !ICInfo(ICTYPE_VIDEO, FourCC(c.codec), &info))
            continue;  // this machine's FFmpeg lacks the encoder
        MakeImages(c.grayInput);
        const Outcome alone = Convert(c, 0);
        ASSERT_FALSE(alone.avi.empty());
        ProbeResult probe = ProbeFile(dir.file("out/v.avi"), true);
        ASSERT_TRUE(probe.ok) << probe.raw;
        EXPECT_GE(probe.streams[0].nbReadFrames, c.stopAtBlink ? 6 : 14);
        if (c.failBlack) {
            auto failed = std::find(alone.log.begin(), alone.log.end(), "Failed to process p8.jpg");
            ASSERT_NE(failed, alone.log.end()) << ::testing::PrintToString(alone.log);
            EXPECT_EQ(*(failed + 1), "Failed to write to the AVI file");
            EXPECT_EQ(*(failed + 2), "Processed p9.jpg");
        }
        if (c.stopAtBlink) {
            EXPECT_EQ(alone.log.back(), "Stopping Processing");
        }
        for (int helpers : {1, 2}) {
            SCOPED_TRACE(helpers);
            const Outcome ahead = Convert(c, helpers);
            EXPECT_EQ(ahead.log, alone.log);
            EXPECT_TRUE(ahead.avi == alone.avi) << "the files differ";
            // Compressed once per image instead of once per frame: the samples made ahead were used.
            if (alone.compressions > 0 && !c.stopAtBlink) {
                EXPECT_LT(ahead.compressions, alone.compressions);
            }
        }
    }
}
