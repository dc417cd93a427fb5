#pragma once
// A scratch folder for one test, removed with everything in it when the test ends.

#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// Path of a file inside the folder, as text.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

/// Writes bytes to a file, replacing it; fails the test when that is impossible.
void WriteFileBytes(const std::string& path, const std::string& bytes);
/// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
/// prefix + number + suffix: NumberedName("f", 3, ".jpg") is "f3.jpg". (Appended piece by piece:
/// GCC 12 at -O3 warns wrongly about a chain of + on strings.)
std::string NumberedName(const std::string& prefix, long number, const std::string& suffix);

/// True when a program of that name is on the PATH.
bool HaveProgram(const std::string& name);

/// True when the tests run in CI (PIXREEL_CI set and not "0"), where every outside program the
/// tests compare with is installed.
bool RunningInCi();

/// For a test that compares with outside programs (ffmpeg, ImageMagick, ...): when they are not
/// `available`, skips the test on a developer's machine and fails it in CI. In a test body or SetUp.
#define PIXREEL_REQUIRE_TOOLS(available, what)                                   \
    do {                                                                          \
        if (!(available)) {                                                       \
            if (RunningInCi()) {                                                  \
                FAIL() << (what) << ", which CI must have";                       \
            } else {                                                              \
                GTEST_SKIP() << (what);                                           \
            }                                                                     \
        }                                                                         \
    } while (0)
