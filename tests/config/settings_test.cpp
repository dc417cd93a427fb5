#include "config/Settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/SystemError.h"
#include "support/TempDir.h"

namespace {

// Every test works on its own INI file named by PIXREEL_INI, with no command-line arguments
// and no overlay unless it sets them.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        ini_ = dir_.file("pixreel.ini");
        ::setenv("PIXREEL_INI", ini_.c_str(), 1);
        SetProcessCommandLineText("");
        Settings::SetCommandLineOverlay(nullptr);
    }
    void TearDown() override {
        ::unsetenv("PIXREEL_INI");
        SetProcessCommandLineText("");
        Settings::SetCommandLineOverlay(nullptr);
        SetMessageBoxHandler({});
    }
    Settings Loaded() {
        Settings settings;
        settings.Load();
        return settings;
    }

    TempDir dir_;
    std::string ini_;
};

}  // namespace

TEST_F(SettingsTest, InitialValuesAndDefaults) {
    const Settings fresh;
    EXPECT_EQ(fresh.AutoSelect, 0);
    EXPECT_EQ(fresh.Contrast, 0);
    EXPECT_EQ(fresh.FramesPerSec, 0);
    EXPECT_EQ(fresh.AVIStyle, 0);
    EXPECT_EQ(fresh.ScaleType, 0);
    EXPECT_EQ(fresh.AVIXScale, 320);
    EXPECT_EQ(fresh.AVIXYcale, 240);
    EXPECT_EQ(fresh.AutoPopulate, 1);
    EXPECT_EQ(fresh.DisplayFileNames, 1);
    EXPECT_EQ(fresh.DisplayToolTips, 1);
    EXPECT_EQ(fresh.WriteCopyright, 1);
    EXPECT_EQ(fresh.Overwrite, 1);
    EXPECT_EQ(fresh.FromCommandLine, 0);
    EXPECT_STREQ(fresh.JPGSuffix, "");
    EXPECT_STREQ(fresh.Copyright, "");
    EXPECT_STREQ(fresh.VideoFile, "");
    EXPECT_STREQ(fresh.LogFile, "");

    // Without a file every key takes its default.
    const Settings settings = Loaded();
    EXPECT_EQ(settings.AutoSelect, 1);
    EXPECT_EQ(settings.AutoStop, 0);
    EXPECT_EQ(settings.FramesPerSec, 5);
    EXPECT_EQ(settings.Contrast, 100);
    EXPECT_EQ(settings.AVIXScale, 320);
    EXPECT_EQ(settings.AVIXYcale, 240);
    EXPECT_EQ(settings.AVIStyle, 1);
    EXPECT_EQ(settings.ScaleType, 1);
    EXPECT_EQ(settings.AutoPopulate, 1);
    EXPECT_EQ(settings.Overwrite, 1);
    EXPECT_EQ(settings.RememberCodec, 0);
    EXPECT_STREQ(settings.JPGSuffix, "jpg");
    EXPECT_STREQ(settings.VideoFile, "TavrinVideoFile");
    EXPECT_STREQ(settings.Copyright, "Tavrin Ltd");
    EXPECT_STREQ(settings.JPGDir, "");
    EXPECT_STREQ(settings.OutputPath, "");
    EXPECT_STREQ(settings.CodecName, "");
    EXPECT_FALSE(std::filesystem::exists(ini_)) << "loading never creates the file";
}

TEST_F(SettingsTest, SectionsAreEnforced) {
    // Five keys live in "Detect"; the same names under "Config" are not read, and the reverse.
    WriteFileBytes(ini_,
                   "[Config]\nAutoStop=1\nScaleType=0\nDisplayFileNames=0\nOverwrite=0\nMotionDeviation=50\n"
                   "[Detect]\nFramesPerSec=20\n");
    Settings settings = Loaded();
    EXPECT_EQ(settings.AutoStop, 0);
    EXPECT_EQ(settings.ScaleType, 1);
    EXPECT_EQ(settings.DisplayFileNames, 1);
    EXPECT_EQ(settings.Overwrite, 1);
    EXPECT_EQ(settings.MotionDeviation, 0);
    EXPECT_EQ(settings.FramesPerSec, 5);

    WriteFileBytes(ini_,
                   "[Detect]\nAutoStop=1\nScaleType=0\nDisplayFileNames=0\nOverwrite=0\nMotionDeviation=50\n"
                   "[Codec]\nCodecName=Motion JPEG\n");
    settings = Loaded();
    EXPECT_EQ(settings.AutoStop, 1);
    EXPECT_EQ(settings.ScaleType, 0);
    EXPECT_EQ(settings.DisplayFileNames, 0);
    EXPECT_EQ(settings.Overwrite, 0);
    EXPECT_EQ(settings.MotionDeviation, 50);
    EXPECT_STREQ(settings.CodecName, "Motion JPEG");
}

TEST_F(SettingsTest, ValuesAsStored) {
    WriteFileBytes(ini_,
                   "[Config]\r\n"
                   "FramesPerSec=abc\r\n"
                   "AVIFrameTime=12fps\r\n"
                   "Brightness=-40\r\n"
                   "Contrast=99999999999999\r\n"
                   "AVIRotateAngle=-99999999999999\r\n"
                   "AVIXYcale=480\r\n"
                   "AVIXScale=640");  // no final line end
    const Settings settings = Loaded();
    EXPECT_EQ(settings.FramesPerSec, 0);
    EXPECT_EQ(settings.AVIFrameTime, 12);
    EXPECT_EQ(settings.Brightness, -40);
    EXPECT_EQ(settings.Contrast, INT_MAX) << "a huge number reads as the nearest 32-bit limit";
    EXPECT_EQ(settings.AVIRotateAngle, INT_MIN);
    EXPECT_EQ(settings.AVIXYcale, 480);
    EXPECT_EQ(settings.AVIXScale, 640);
}

TEST_F(SettingsTest, DirectoriesAndSuffix) {
    struct Case {
        const char* stored;
        const char* loaded;
    };
    for (const Case& c : {Case{"/home/me/images", "/home/me/images/"}, Case{"/home/me/images/", "/home/me/images/"},
                          Case{"C", "C"}, Case{"", ""}, Case{"/", "/"}}) {
        WriteFileBytes(ini_, std::string("[Config]\nJPGDir=") + c.stored + "\nOutputPath=" + c.stored + "\n");
        const Settings settings = Loaded();
        EXPECT_STREQ(settings.JPGDir, c.loaded) << c.stored;
        EXPECT_STREQ(settings.OutputPath, c.loaded) << c.stored;
    }
    for (const Case& c : {Case{".bmp", "bmp"}, Case{"..jpg", ".jpg"}, Case{"*", "*"}, Case{"png", "png"}, Case{".", ""}}) {
        WriteFileBytes(ini_, std::string("[Config]\nJPGSuffix=") + c.stored + "\n");
        EXPECT_STREQ(Loaded().JPGSuffix, c.loaded) << c.stored;
    }

    char text[8] = "ab";
    AddTrailingSeparator(text, sizeof text);
    EXPECT_STREQ(text, "ab/");
    RemoveTrailingSeparator(text);
    EXPECT_STREQ(text, "ab");
    char full[4] = "abc";
    AddTrailingSeparator(full, sizeof full);
    EXPECT_STREQ(full, "abc") << "no room: the field is never overflowed";
    char one[4] = "/";
    RemoveTrailingSeparator(one);
    EXPECT_STREQ(one, "/");
}

TEST_F(SettingsTest, LongTextsAreCutToTheirFields) {
    const std::string dir(300, 'd');
    const std::string suffix(300, 's');
    // 258 ASCII bytes then a two-byte character: the field's 259 bytes would end inside it.
    const std::string owner = std::string(258, 'o') + "\xC3\xA9" + "tail";
    WriteFileBytes(ini_, "[Config]\nJPGDir=" + dir + "\nJPGSuffix=." + suffix + "\nCopyright=" + owner + "\n");
    const Settings settings = Loaded();
    EXPECT_EQ(std::strlen(settings.JPGDir), 259u) << "cut to 259; no room left for the separator";
    EXPECT_EQ(std::strlen(settings.JPGSuffix), 254u) << "cut to 255, then the dot removed";
    EXPECT_EQ(std::string(settings.Copyright), std::string(258, 'o')) << "a cut character is dropped whole";

    // A value that fits is kept byte for byte, even when it is not UTF-8.
    WriteFileBytes(ini_, "[Config]\nCopyright=Caf\xE9\n");
    EXPECT_STREQ(Loaded().Copyright, "Caf\xE9");

    // An output folder that does not fit whole, or leaves no room for its final '/', is marked:
    // cut, it would name another folder.
    struct Case {
        std::string path;
        int tooLong;
    };
    for (const Case& c : {Case{"/" + std::string(299, 'o'), 1}, Case{"/" + std::string(258, 'o'), 1},
                          Case{"/" + std::string(257, 'o'), 0}, Case{"/" + std::string(257, 'o') + "/", 0},
                          Case{"", 0}}) {
        WriteFileBytes(ini_, "[Config]\nOutputPath=" + c.path + "\n");
        EXPECT_EQ(Loaded().OutputPathTooLong, c.tooLong) << c.path.size();
    }
}

TEST_F(SettingsTest, AFileThatCannotBeReadGivesTheDefaultsAndSaysWhy) {
    EXPECT_EQ(Loaded().FileProblem, 0) << "a missing file is no problem";
    std::filesystem::create_directory(ini_);
    Settings settings = Loaded();
    EXPECT_EQ(settings.FileProblem, EISDIR);
    EXPECT_EQ(settings.FramesPerSec, 5);
    std::filesystem::remove(ini_);
    // Nobody writes to the FIFO: an ordinary open would wait for ever.
    ASSERT_EQ(::mkfifo(ini_.c_str(), 0600), 0);
    settings = Loaded();
    EXPECT_EQ(settings.FileProblem, ENODEV);
    EXPECT_STREQ(settings.VideoFile, "TavrinVideoFile");
    WriteSettingInt("Config", "FramesPerSec", 9);  // neither waits nor replaces the FIFO
    EXPECT_EQ(Loaded().FileProblem, ENODEV);
}

TEST_F(SettingsTest, ALargeFileOfOtherSectionsKeepsOurValues) {
    // A settings file grown to nearly a megabyte by other programs' sections: reloaded for every
    // image, it must not be parsed once per key.
    std::string text = "[Config]\nFramesPerSec=12\nVideoFile=big\n[Other]\n";
    for (int i = 0; text.size() < 850000; ++i)
        text += "Key" + std::to_string(i) + "=some value of an unrelated program\n";
    WriteFileBytes(ini_, text);
    // The time a load takes is measured by bench/settings_bench; here the values must survive.
    for (int i = 0; i < 3; ++i) {
        const Settings settings = Loaded();
        ASSERT_EQ(settings.FramesPerSec, 12);
        ASSERT_STREQ(settings.VideoFile, "big");
    }
}

TEST_F(SettingsTest, WritesGoToTheirSectionUnlessTheProcessHasArguments) {
    WriteSettingInt("Config", "FramesPerSec", 12);
    EXPECT_EQ(ReadFileBytes(ini_), "[Config]\nFramesPerSec=12\n");
    WriteSettingText("Detect", "AutoStop", "1");
    WriteSettingInt("Config", "Brightness", -40);
    EXPECT_EQ(ReadFileBytes(ini_), "[Config]\nFramesPerSec=12\nBrightness=-40\n\n[Detect]\nAutoStop=1\n");
    EXPECT_EQ(Loaded().Brightness, -40);

    const std::string before = ReadFileBytes(ini_);
    SetProcessCommandLineText("/usr/bin/pixreel -d /in");
    EXPECT_TRUE(HasArguments());
    WriteSettingInt("Config", "FramesPerSec", 30);
    WriteSettingText("Config", "JPGDir", "/elsewhere/");
    EXPECT_EQ(ReadFileBytes(ini_), before) << "a command-line run never changes the stored configuration";

    // The compression options are stored even then.
    StoreSettingText("Codec", "CodecName", "Full Frames (Uncompressed)");
    EXPECT_NE(ReadFileBytes(ini_).find("CodecName=Full Frames (Uncompressed)"), std::string::npos);

    // After a stop the command line is blank and writes are made again.
    BlankCommandLine();
    EXPECT_FALSE(HasArguments());
    WriteSettingInt("Config", "FramesPerSec", 30);
    EXPECT_EQ(Loaded().FramesPerSec, 30);

    SetProcessCommandLineText("/usr/bin/pixreel");
    EXPECT_FALSE(HasArguments()) << "the program path alone is no argument";
}

TEST_F(SettingsTest, LoadRunsTheOverlayAfterTheFile) {
    WriteFileBytes(ini_, "[Config]\nJPGDir=/from/ini\nAutoProcess=0\n");
    static std::string seenDir;
    Settings::SetCommandLineOverlay([](Settings& settings) {
        seenDir = settings.JPGDir;  // the file has been read when the overlay runs
        if (HasArguments()) {
            std::strcpy(settings.JPGDir, "/from/args/");
            settings.AutoProcess = 1;
            settings.FromCommandLine = 1;
        }
    });
    SetProcessCommandLineText("pixreel -d /from/args");
    Settings settings = Loaded();
    EXPECT_EQ(seenDir, "/from/ini/");
    EXPECT_STREQ(settings.JPGDir, "/from/args/");
    EXPECT_EQ(settings.AutoProcess, 1);
    EXPECT_EQ(settings.FromCommandLine, 1);

    BlankCommandLine();
    settings.Load();
    EXPECT_STREQ(settings.JPGDir, "/from/ini/");
    EXPECT_EQ(settings.AutoProcess, 0);

    // ReadFile alone leaves the overlay out.
    SetProcessCommandLineText("pixreel -d /from/args");
    Settings plain;
    plain.ReadFile();
    EXPECT_STREQ(plain.JPGDir, "/from/ini/");
}

TEST_F(SettingsTest, ProgramFilePath) {
    char exe[PATH_MAX] = "";
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::filesystem::path program(exe);
    const std::string folder = program.parent_path().string() + "/";

    char path[kIniPathBytes];
    ASSERT_EQ(ProgramFilePath(path, sizeof path, nullptr, ".ini", true), 1);
    EXPECT_EQ(std::string(path), folder + program.stem().string() + ".ini");
    ASSERT_EQ(ProgramFilePath(path, sizeof path, "Pixreel", "chm", true), 1);
    EXPECT_EQ(std::string(path), folder + "Pixreel.chm") << "a dot is put before an extension without one";
    ASSERT_EQ(ProgramFilePath(path, sizeof path, "", nullptr, true), 1);
    EXPECT_EQ(std::string(path), folder + program.stem().string());

    // A destination too small: emptied, 0, and the fatal box with the system's reason.
    std::vector<std::string> boxes;
    SetMessageBoxHandler([&boxes](const std::string& text, const std::string&, unsigned) {
        boxes.push_back(text);
        return 1;
    });
    char small[8] = "junk";
    EXPECT_EQ(ProgramFilePath(small, sizeof small, nullptr, ".ini", true), 0);
    EXPECT_STREQ(small, "");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Error: Fatal using GetModuleFileName " + SystemErrorText(ENAMETOOLONG));
    EXPECT_EQ(ProgramFilePath(small, sizeof small, nullptr, ".ini", false), 0);
    EXPECT_EQ(boxes.size(), 1u) << "no box without reporting";
}

TEST_F(SettingsTest, SettingsFileLocation) {
    char path[kIniPathBytes];
    ASSERT_EQ(SettingsFilePath(path, sizeof path, false), 1);
    EXPECT_EQ(std::string(path), ini_);

    // Without the variable: beside the program when its folder is writable or holds the file.
    ::unsetenv("PIXREEL_INI");
    char beside[kIniPathBytes];
    ASSERT_EQ(ProgramFilePath(beside, sizeof beside, nullptr, ".ini", false), 1);
    ASSERT_EQ(SettingsFilePath(path, sizeof path, false), 1);
    const std::string folder = std::filesystem::path(beside).parent_path().string();
    if (::access(folder.c_str(), W_OK) == 0 || ::access(beside, F_OK) == 0) {
        EXPECT_STREQ(path, beside);
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const std::string base = xdg && *xdg == '/' ? xdg : std::string(std::getenv("HOME")) + "/.config";
        EXPECT_EQ(std::string(path), base + "/pixreel/pixreel.ini");
    }
}
