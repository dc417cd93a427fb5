#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/CodecChoice.h"
#include "platform/Codecs.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

constexpr DWORD kMjpg = mmioFOURCC('M', 'J', 'P', 'G');

class CodecChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample = dir.file("sample.jpg");
        WriteJpeg(sample, 32, 16, Pattern(1));
    }
    // The dialog as it opens for options stored with these values.
    void Open(DWORD code, DWORD quality, DWORD keyFrames) {
        options = AVICOMPRESSOPTIONS{};
        options.fccHandler = code;
        options.dwQuality = quality;
        options.dwKeyFrameEvery = keyFrames;
        choice = std::make_unique<CodecChoice>(options);
        ASSERT_TRUE(choice->Start(sample.c_str()));
    }
    size_t EntryOf(DWORD code) const {
        for (size_t i = 1; i < choice->Entries().size(); ++i)
            if (choice->Entries()[i].code == code)
                return i;
        return 0;
    }
    std::string Accept(const CodecDialogInput& input) {
        request = CodecRequest{};
        request.Options = &options;
        return choice->Accept(input, request);
    }

    TempDir dir;
    std::string sample;
    AVICOMPRESSOPTIONS options{};
    std::unique_ptr<CodecChoice> choice;
    CodecRequest request{};
    BoxRecorder boxes;
};

}  // namespace

TEST_F(CodecChoiceTest, FreshSettingsPreselectTheUncompressedEntry) {
    Open(0, 0, 0);
    const CodecDialogView& view = choice->View();
    EXPECT_EQ(choice->Entries()[0].name, "Full Frames (Uncompressed)");
    EXPECT_EQ(choice->Entries()[0].value, -1);
    EXPECT_EQ(view.selected, 0u);
    EXPECT_FALSE(view.configureEnabled);
    EXPECT_FALSE(view.qualityEnabled);
    EXPECT_EQ(view.percentText, "0%");
    EXPECT_EQ(view.sliderPosition, 1);
    EXPECT_EQ(view.keyFramesText, "0");
    EXPECT_FALSE(view.alwaysUse);

    // The compressors that accept the sample follow in enumeration order; MJPG always does.
    ASSERT_NE(EntryOf(kMjpg), 0u);
    for (size_t i = 1; i < choice->Entries().size(); ++i)
        EXPECT_GT(choice->Entries()[i].value, choice->Entries()[i - 1].value);

    ASSERT_EQ(Accept(choice->InputFromView()), "");
    EXPECT_EQ(options.fccHandler, comptypeDIB);
    EXPECT_EQ(options.dwQuality, 100u);
    EXPECT_STREQ(request.CodecName, "Full Frames (Uncompressed)");
}

TEST_F(CodecChoiceTest, RememberedCompressorShowsTheStoredValuesOthersTheirDefaults) {
    Open(kMjpg, 7550, 12);
    const CodecDialogView& view = choice->View();
    EXPECT_EQ(view.selected, EntryOf(kMjpg));
    EXPECT_TRUE(view.qualityEnabled);
    EXPECT_TRUE(view.configureEnabled);
    EXPECT_EQ(view.sliderPosition, 75);
    EXPECT_EQ(view.percentText, "75%");
    EXPECT_EQ(view.keyFramesText, "12");

    CodecDialogInput input = choice->InputFromView();
    input.alwaysUse = true;
    ASSERT_EQ(Accept(input), "");
    EXPECT_EQ(options.fccHandler, kMjpg);
    EXPECT_EQ(options.dwQuality, 7500u);
    EXPECT_EQ(options.dwKeyFrameEvery, 12u);
    EXPECT_EQ(request.AlwaysUse, 1);
    EXPECT_EQ(request.CodecName, choice->Entries()[EntryOf(kMjpg)].name);

    // The uncompressed entry shows its own defaults, not the stored ones.
    choice->Select(0);
    EXPECT_EQ(view.percentText, "100%");
    EXPECT_EQ(view.sliderPosition, 100);
    EXPECT_EQ(view.keyFramesText, "0");
    EXPECT_FALSE(view.configureEnabled);
    choice->MoveSlider(42);
    EXPECT_EQ(view.percentText, "42%");
}

TEST(CodecChoiceRules, SameNameFindsTheFirstAfterTheUncompressedEntry) {
    const std::vector<CodecListEntry> entries = {
        {-1, 0, "Full Frames (Uncompressed)"}, {0, 1, "Twin"}, {1, 2, "Other"}, {2, 3, "TWIN"}};
    EXPECT_EQ(FindCodecEntry(entries, "twin"), 1u);
    EXPECT_EQ(FindCodecEntry(entries, "TWIN"), 1u);
    EXPECT_EQ(FindCodecEntry(entries, "full frames (uncompressed)"), 0u);
    EXPECT_EQ(FindCodecEntry(entries, "Twin "), entries.size());
}

TEST(CodecChoiceRules, KeyFrameBoxTakesZeroTo32700) {
    const std::string range = "Please enter an integer between 0 and 32700.";
    const std::string notNumber = "Please enter a positive integer.";
    const struct {
        const char* text;
        unsigned interval;  // when taken
        std::string refusal;
    } cases[] = {
        {"0", 0, ""},        {"32700", 32700, ""}, {" 25 ", 25, ""},   {"40000", 0, range},
        {"32701", 0, range}, {"-3", 0, range},     {"", 0, notNumber}, {"12a", 0, notNumber},
        {"99999999999999999999999", 0, range},
    };
    for (const auto& c : cases) {
        unsigned interval = 7;
        std::string refusal;
        EXPECT_EQ(ReadKeyFrameText(c.text, interval, refusal), c.refusal.empty()) << c.text;
        EXPECT_EQ(refusal, c.refusal) << c.text;
        EXPECT_EQ(interval, c.refusal.empty() ? c.interval : 7u) << c.text;
    }
}

TEST_F(CodecChoiceTest, RefusedKeyFramesLeaveTheRequestAlone) {
    Open(0, 0, 0);
    CodecDialogInput input = choice->InputFromView();
    input.keyFramesText = "40000";
    EXPECT_EQ(Accept(input), "Please enter an integer between 0 and 32700.");
    EXPECT_EQ(options.fccHandler, 0u);
    EXPECT_EQ(request.CodecName[0], '\0');
}

TEST_F(CodecChoiceTest, UnreadableSampleCancelsWithItsPath) {
    CodecChoice missing(AVICOMPRESSOPTIONS{});
    const std::string path = dir.file("missing.jpg");
    EXPECT_FALSE(missing.Start(path.c_str()));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error. Failed to open " + path});
}
