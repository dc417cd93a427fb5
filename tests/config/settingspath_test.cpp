// Where the settings live: an installed program (a "bin" folder without data beside it) never
// beside itself; a build tree or portable copy beside itself; and a settings file whose folders
// are missing is written once they are made, or not at all, without harm to the run.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "platform/DataFiles.h"
#include "platform/ProcessCommandLine.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(SettingsPathTest, InstalledProgramFolders) {
    struct Case {
        std::string folder;              // the program's folder below the scratch folder
        std::vector<std::string> beside; // what else is in it ("/" at the end: a folder)
        bool installed;
    };
    const std::vector<Case> cases = {
        {"usr/bin", {}, true},                      // /usr/bin/pixreel, data in /usr/share/pixreel
        {"pre fix/bin", {"other-program"}, true},   // any prefix, other programs beside
        {"broken/bin", {}, true},                   // no share/pixreel at all: still installed
        {"build", {}, false},                       // a build tree without its data yet
        {"build/bin", {"pixreel.jpg"}, false},      // a build tree that puts programs in bin/
        {"portable/bin", {"help/", "icons/"}, false},
        {"robin", {}, false},                       // a folder whose name only ends in "bin"
        {"usr/bin/pixreel.d", {}, false},
    };
    TempDir dir;
    fs::create_directories(dir.file("usr/share/pixreel/help"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = dir.file(c.folder);
        fs::create_directories(folder);
        for (const std::string& name : c.beside) {
            if (name.back() == '/')
                fs::create_directories(folder + "/" + name);
            else
                WriteFileBytes(folder + "/" + name, "x");
        }
        EXPECT_EQ(IsInstalledProgramFolder(folder), c.installed);
        EXPECT_EQ(IsInstalledProgramFolder(folder + "/"), c.installed);
    }
    // The test program runs from the build tree.
    EXPECT_FALSE(RunsInstalled());
}

TEST(SettingsPathTest, MissingFoldersAreMadeOnTheFirstWrite) {
    TempDir dir;
    SetProcessCommandLineText("");
    WriteFileBytes(dir.file("plain file"), "not a folder");
    struct Case {
        std::string ini;
        bool written;
    };
    const std::vector<Case> cases = {
        {dir.file("config home/pixreel/pixreel.ini"), true},
        {dir.file("plain file/pixreel/pixreel.ini"), false},  // cannot be made: kept in memory
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        ::setenv("PIXREEL_INI", c.ini.c_str(), 1);
        WriteSettingInt("Config", "FramesPerSec", 12);
        EXPECT_EQ(fs::exists(c.ini), c.written);
        Settings settings;
        settings.Load();
        EXPECT_EQ(settings.FramesPerSec, c.written ? 12 : 5);
    }
    EXPECT_EQ(fs::status(dir.file("config home/pixreel")).permissions() & fs::perms::all, fs::perms::owner_all)
        << "a configuration folder is private";
    ::unsetenv("PIXREEL_INI");
}
