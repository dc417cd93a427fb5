#include "config/CommandLineOverlay.h"

#include "config/Settings.h"
#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Box {
    std::string text;
    unsigned flags;
};

// Sets the process command line from a list of arguments and records the boxes shown.
class CommandLineOverlayTest : public testing::Test {
protected:
    void SetUp() override {
        previous_ = SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned flags) {
            boxes.push_back({text, flags});
            return IDOK;
        });
    }
    void TearDown() override {
        SetMessageBoxHandler(previous_);
        SetProcessCommandLineText("");
    }

    void Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"/usr/bin/pixreel"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        SetProcessArguments(all);
        settings = start;
        ApplyCommandLine(settings);
    }

    void ExpectCommandLineRun() {
        EXPECT_EQ(settings.FromCommandLine, 1);
        EXPECT_EQ(settings.AutoProcess, 1);
        EXPECT_EQ(settings.AutoStop, 1);
        EXPECT_EQ(settings.AutoPopulate, 1);
        EXPECT_EQ(settings.AutoSelect, 1);
    }

    Settings start;     // the record before the overlay
    Settings settings;  // the record after it
    std::vector<Box> boxes;

private:
    MessageBoxHandler previous_;
};

}  // namespace

TEST_F(CommandLineOverlayTest, NoArgumentsChangeNothing) {
    Run({});
    EXPECT_EQ(settings.FromCommandLine, 0);
    EXPECT_EQ(settings.AutoProcess, 0);
    EXPECT_EQ(settings.AutoPopulate, 1);  // as constructed
    EXPECT_EQ(settings.AutoSelect, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CommandLineOverlayTest, OptionsFillTheirFieldsIgnoringCase) {
    start.AVIStyle = 1;
    Run({"-D", "/home/me/My Pictures", "-F", "png", "-o", "holiday", "-L", "/tmp/run.log", "-U"});
    EXPECT_STREQ(settings.JPGDir, "/home/me/My Pictures/");
    EXPECT_STREQ(settings.JPGSuffix, "png");
    EXPECT_STREQ(settings.VideoFile, "holiday");
    EXPECT_STREQ(settings.LogFile, "/tmp/run.log");
    EXPECT_EQ(settings.AVIStyle, 0);
    ExpectCommandLineRun();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CommandLineOverlayTest, UnrecognisedTokensStillMakeACommandLineRun) {
    Run({"--d", "/x", "/d", "/y", "-dd", "d"});
    EXPECT_STREQ(settings.JPGDir, "");
    ExpectCommandLineRun();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CommandLineOverlayTest, AnOptionConsumesTheNextTokenWhateverItIs) {
    Run({"-d", "-f", "jpg"});
    EXPECT_STREQ(settings.JPGDir, "-f/");
    EXPECT_STREQ(settings.JPGSuffix, "") << "\"jpg\" is an ignored token, not the suffix";
    // A later option overrides an earlier one.
    Run({"-o", "first", "-o", "second"});
    EXPECT_STREQ(settings.VideoFile, "second");
}

TEST_F(CommandLineOverlayTest, DirectoryGetsATrailingSeparator) {
    Run({"-d", "/pics"});
    EXPECT_STREQ(settings.JPGDir, "/pics/");
    Run({"-d", "/pics/"});
    EXPECT_STREQ(settings.JPGDir, "/pics/");
    Run({"-d", "C"});
    EXPECT_STREQ(settings.JPGDir, "C");
    Run({"-d", "ab"});
    EXPECT_STREQ(settings.JPGDir, "ab/");
    Run({"-d", ""});
    EXPECT_STREQ(settings.JPGDir, "");
}

TEST_F(CommandLineOverlayTest, SuffixKeepsItsDot) {
    Run({"-f", ".jpg"});
    EXPECT_STREQ(settings.JPGSuffix, ".jpg");
}

TEST_F(CommandLineOverlayTest, QuotedArgumentFromARawCommandLine) {
    SetProcessCommandLineText("\"/opt/my apps/pixreel\" -d \"/srv/photo dump\"   -f jpg ");
    ApplyCommandLine(settings);
    EXPECT_STREQ(settings.JPGDir, "/srv/photo dump/");
    EXPECT_STREQ(settings.JPGSuffix, "jpg");
    ExpectCommandLineRun();
}

TEST_F(CommandLineOverlayTest, MissingArgumentsShowTheirBoxAndTheRunGoesOn) {
    const struct {
        const char* option;
        std::string text;
    } cases[] = {
        {"-d", LoadStringText(IDS_NO_DIRECTORY_ARG)},
        {"-f", LoadStringText(IDS_NO_SUFFIX_ARG)},
        {"-o", LoadStringText(IDS_NO_OUTPUT_ARG)},
        {"-l", kNoLogFileArgText},
        {"-c", kNoCodecArgText},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        boxes.clear();
        Run({"-u", c.option});
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].flags & MB_ICONHAND, MB_ICONHAND);
        EXPECT_EQ(settings.AVIStyle, 0);
        ExpectCommandLineRun();
    }
    EXPECT_EQ(std::string(LoadStringText(IDS_NO_DIRECTORY_ARG)),
              "No directory has been specified after the -d parameter");
}

TEST_F(CommandLineOverlayTest, MistakesAreReportedOncePerCommandLine) {
    Run({"-d"});
    ASSERT_EQ(boxes.size(), 1u);
    // Every later load of settings applies the command line again without a new box.
    Settings again;
    ApplyCommandLine(again);
    ApplyCommandLine(again);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(again.AutoProcess, 1);
    // A new command line is reported again.
    Run({"-f"});
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(CommandLineOverlayTest, ArgumentsLongerThanTheirFieldAreRefusedNeverCut) {
    const std::string serious = LoadStringText(IDS_SERIOUS_ERROR_1);
    ASSERT_EQ(serious.rfind("Serious  error No. 1 has occurred please report to ", 0), 0u);

    // 258 characters and the added separator fill JPGDir exactly.
    Run({"-d", std::string(258, 'd')});
    EXPECT_EQ(std::string(settings.JPGDir), std::string(258, 'd') + "/");
    EXPECT_TRUE(boxes.empty());

    // 259 characters leave no room for the separator.
    start.AVIStyle = 1;
    Run({"-o", "kept", "-d", std::string(259, 'd'), "-f", "png", "-u"});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, serious);
    EXPECT_STREQ(settings.VideoFile, "kept") << "options before the failure stay applied";
    EXPECT_STREQ(settings.JPGDir, "");
    EXPECT_STREQ(settings.JPGSuffix, "") << "the arguments after the failure are ignored";
    EXPECT_EQ(settings.AVIStyle, 1) << "-u was ignored";
    EXPECT_EQ(settings.AutoStop, 1);
    EXPECT_EQ(settings.FromCommandLine, 0);
    EXPECT_EQ(settings.AutoProcess, 0);

    Run({"-f", std::string(255, 's')});
    EXPECT_EQ(std::string(settings.JPGSuffix), std::string(255, 's'));
    Run({"-f", std::string(256, 's')});
    EXPECT_STREQ(settings.JPGSuffix, "");
    Run({"-o", std::string(260, 'o')});
    EXPECT_STREQ(settings.VideoFile, "");
    Run({"-l", std::string(300, 'l')});
    EXPECT_STREQ(settings.LogFile, "");
    EXPECT_EQ(boxes.size(), 4u);
}

TEST_F(CommandLineOverlayTest, CodecOption) {
    Run({"-c", "MJPG", "-d", "/in"});
    EXPECT_EQ(CommandLineCodec(), "MJPG");
    EXPECT_STREQ(settings.JPGDir, "/in/");
    Run({"-C", "DIB ", "-c", "FFV1"});
    EXPECT_EQ(CommandLineCodec(), "FFV1");
    Run({"-d", "-c", "MJPG"});
    EXPECT_EQ(CommandLineCodec(), "") << "-c was the directory";
    Run({"-c", "MJPG"});
    BlankCommandLine();
    EXPECT_EQ(CommandLineCodec(), "");
}

TEST_F(CommandLineOverlayTest, EveryLoadOverlaysUntilTheCommandLineIsBlanked) {
    TempDir dir;
    const std::string ini = dir.file("pixreel.ini");
    WriteFileBytes(ini, "[Config]\nJPGDir=/stored\nAutoProcess=0\nJPGSuffix=bmp\n[Detect]\nAutoStop=0\n");
    ::setenv("PIXREEL_INI", ini.c_str(), 1);
    InstallCommandLineOverlay();

    SetProcessArguments(std::vector<std::string>{"pixreel", "-d", "/given"});
    Settings loaded;
    loaded.Load();
    EXPECT_STREQ(loaded.JPGDir, "/given/");
    EXPECT_STREQ(loaded.JPGSuffix, "bmp");
    EXPECT_EQ(loaded.AutoProcess, 1);
    EXPECT_TRUE(HasArguments());
    WriteSettingInt("Config", "FramesPerSec", 12);
    EXPECT_EQ(ReadFileBytes(ini).find("FramesPerSec"), std::string::npos) << "a command-line run writes nothing";

    BlankCommandLine();
    loaded.Load();
    EXPECT_STREQ(loaded.JPGDir, "/stored/");
    EXPECT_EQ(loaded.AutoProcess, 0);
    EXPECT_EQ(loaded.AutoStop, 0);
    EXPECT_FALSE(HasArguments());

    Settings::SetCommandLineOverlay(nullptr);
    ::unsetenv("PIXREEL_INI");
}
