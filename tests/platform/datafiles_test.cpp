#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "platform/DataFiles.h"

namespace fs = std::filesystem;

TEST(DataFiles, ProgramFolderHoldsTheTestProgram) {
    const std::string program = RunningProgramFile();
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(fs::exists(program));
    EXPECT_EQ(ProgramFolder() + fs::path(program).filename().string(), program);
}

// Beside the program first, then the installed data folder, else the path beside the program.
TEST(DataFiles, BesideTheProgramThenInstalled) {
    const std::string folder = ProgramFolder();
    const std::string name = "datafiles-test-" + std::to_string(::getpid()) + ".dat";
    const fs::path shared = fs::path(folder) / "../share/pixreel";
    const fs::path installed = (shared / name).lexically_normal();
    const fs::path beside = fs::path(folder) / name;

    EXPECT_EQ(DataFilePath(name), beside.string());
    fs::create_directories(shared);
    std::ofstream(installed.string()) << "x";
    EXPECT_EQ(DataFilePath(name), installed.string());
    std::ofstream(beside.string()) << "x";
    EXPECT_EQ(DataFilePath(name), beside.string());
    EXPECT_EQ(DataFilePath("help/" + name), folder + "help/" + name);

    fs::remove(beside);
    fs::remove(installed);
    std::error_code ignored;
    fs::remove(shared, ignored);  // only when empty
    fs::remove(shared.parent_path(), ignored);
}
