// The pixreel program on hostile and unusual folders: every bad file gets its line, the run goes
// on, nothing crashes, and no input file is ever changed.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/PixreelRun.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace fs = std::filesystem;

namespace {

class BadInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(PixreelProgram())) << "build the pixreel program first";
        fs::create_directories(dir.file("out"));
    }

    void WriteIni(const std::string& outputPath) {
        WriteFileBytes(Ini(), "[Config]\nOutputPath=" + outputPath +
                                  "\nJPGSortOrder=2\nRememberCodec=1\n[Codec]\nfccHandler=541215044\n");
    }
    std::string Ini() { return dir.file("pixreel.ini"); }

    // Every file below the folder with its bytes and modification time.
    std::map<std::string, std::pair<std::string, int64_t>> Snapshot(const std::string& folder) {
        std::map<std::string, std::pair<std::string, int64_t>> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            struct stat st {};
            if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            files[entry.path().string()] = {ReadFileBytes(entry.path().string()),
                                            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
        }
        return files;
    }

    int64_t Frames(const std::string& path) {
        ProbeResult probe = ProbeFile(path, true);
        EXPECT_TRUE(probe.ok) << probe.raw;
        return probe.streams.empty() || probe.streams[0].nbReadFrames < 0 ? 0 : probe.streams[0].nbReadFrames;
    }

    TempDir dir;
};

}  // namespace

TEST_F(BadInputTest, EveryBadFileGetsItsLineAndNothingIsChanged) {
    const std::string in = dir.file("in put");  // a blank in the folder name too
    fs::create_directories(in + "/folder.jpg");  // a directory named like an image: not listed
    WriteJpeg(in + "/a first.jpg", 24, 16, Pattern(1));
    WriteFileBytes(in + "/b zero.jpg", "");
    WriteFileBytes(in + "/c text.jpg", "just some words, no picture at all\n");
    WriteFileBytes(in + "/d truncated.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10));
    WriteBmp24(in + "/e bitmap.jpg", 24, 16, Pattern(2));  // a BMP under a JPEG name
    WriteJpeg(in + "/f quote's \"x\".jpg", 24, 16, Pattern(3));
    WriteJpeg(in + "/g \xC3\xBCml\xC3\xA4ut.jpg", 24, 16, Pattern(4));
    WriteJpeg(in + "/h other size.JPG", 16, 24, Pattern(5));
    WriteJpeg(in + "/i locked.jpg", 24, 16, Pattern(6));
    ::chmod((in + "/i locked.jpg").c_str(), 0);
    const bool root = ::geteuid() == 0;  // root reads it anyway
    WriteIni(dir.file("out") + "/");
    auto before = Snapshot(in);

    PixreelResult result = RunPixreel({"-d", in, "-f", "jpg", "-o", "bad"}, Ini());
    ::chmod((in + "/i locked.jpg").c_str(), 0644);
    EXPECT_EQ(result.status, 1) << result.err;
    std::vector<std::string> lines = result.Lines();
    ASSERT_GT(lines.size(), 3u) << result.out;
    lines.erase(lines.begin(), lines.begin() + 3);
    std::vector<std::string> expected{
        "Opened AVI file " + dir.file("out/bad.avi"),
        "Processed a first.jpg",
        "Failed to open b zero.jpg: Empty input file",
        "Failed to open c text.jpg: Not a JPEG file: starts with 0x6a 0x75",
        "Failed to open d truncated.jpg: JPEG datastream contains no image",
        "Failed to open e bitmap.jpg: Not a JPEG file: starts with 0x42 0x4d",
        "Processed f quote's \"x\".jpg",
        "Processed g \xC3\xBCml\xC3\xA4ut.jpg",
        "Bitmap file is a different size h other size.JPG",
        root ? "Processed i locked.jpg" : "Failed to open i locked.jpg: Permission denied",
    };
    EXPECT_EQ(lines, expected);
    // The red lines are on stderr too, in order (a decoder library may add warnings between).
    std::vector<std::string> errorLines = SplitLines(result.err);
    auto at = errorLines.begin();
    for (const std::string& line : expected) {
        if (line.rfind("Failed", 0) == 0 || line.rfind("Bitmap", 0) == 0) {
            at = std::find(at, errorLines.end(), line);
            EXPECT_NE(at, errorLines.end()) << line << " missing on stderr:\n" << result.err;
        }
    }
    EXPECT_EQ(Frames(dir.file("out/bad.avi")), root ? 4 : 3);

    ::chmod((in + "/i locked.jpg").c_str(), 0);
    EXPECT_EQ(Snapshot(in), before);
    ::chmod((in + "/i locked.jpg").c_str(), 0644);
}

TEST_F(BadInputTest, OutputThatCannotBeMadeIsAFailure) {
    const std::string in = dir.file("in");
    WriteJpeg(in + "_a.jpg", 8, 8, Pattern(1));
    fs::create_directories(in);
    fs::rename(in + "_a.jpg", in + "/a.jpg");

    struct Case {
        std::string outputPath;
        bool skipAsRoot;
    };
    WriteFileBytes(dir.file("plain-file"), "x");
    fs::create_directories(dir.file("read-only"));
    ::chmod(dir.file("read-only").c_str(), 0555);
    // /proc/ refuses new files even to root, which writes into read-only folders.
    for (const Case& c : {Case{dir.file("missing") + "/", false}, Case{dir.file("plain-file") + "/", false},
                          Case{dir.file("read-only") + "/", true}, Case{"/proc/", false}}) {
        if (c.skipAsRoot && ::geteuid() == 0)
            continue;
        SCOPED_TRACE(c.outputPath);
        WriteIni(c.outputPath);
        PixreelResult result = RunPixreel({"-d", in, "-o", "v"}, Ini());
        EXPECT_EQ(result.status, 2);
        std::vector<std::string> lines = result.Lines();
        ASSERT_EQ(lines.size(), 5u) << result.out;
        EXPECT_EQ(lines[3], "Failed to open AVI file " + c.outputPath + "v.avi");
        EXPECT_EQ(lines[4], "Failed to open the AVI file. Or operation cancelled by user.");
        // The writer's box, printed with the system's reason, then the two red lines.
        EXPECT_NE(result.err.find("Failed to open the file " + c.outputPath + "v.avi"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find(lines[4]), std::string::npos);
    }
    ::chmod(dir.file("read-only").c_str(), 0755);
}

TEST_F(BadInputTest, LongPathsAreHandled) {
    // Input paths and output paths far beyond the old 259-character fields; the folders
    // themselves fit the settings' fields.
    std::string in = dir.file("in");
    while (in.size() + 41 <= 250)
        in += "/" + std::string(40, 'p');
    fs::create_directories(in);
    const std::string first = std::string(200, 'n') + ".jpg";
    const std::string second = std::string(201, 'n') + ".jpg";
    WriteJpeg(in + "/" + first, 8, 8, Pattern(1));
    WriteJpeg(in + "/" + second, 8, 8, Pattern(2));
    std::string out = dir.file("out");
    while (out.size() + 41 <= 250)
        out += "/" + std::string(40, 'o');
    fs::create_directories(out);
    WriteIni(out + "/");
    PixreelResult result = RunPixreel({"-d", in, "-f", "jpg", "-u"}, Ini());
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = result.Lines();
    ASSERT_EQ(lines.size(), 3u + 5u);
    EXPECT_EQ(lines[3], "Opened AVI file " + out + "/" + std::string(200, 'n') + ".avi");
    EXPECT_EQ(lines[4], "Processed " + first);
    EXPECT_EQ(Frames(out + "/" + std::string(200, 'n') + ".avi"), 1);
    EXPECT_EQ(Frames(out + "/" + std::string(201, 'n') + ".avi"), 1);

    // A folder argument longer than its settings field is reported, never cut or overflowed.
    std::string deeper = in + "/" + std::string(60, 'q');
    fs::create_directories(deeper);
    result = RunPixreel({"-d", deeper, "-o", "v"}, Ini());
    EXPECT_NE(result.err.find("Serious  error No. 1"), std::string::npos) << result.err;
}

TEST_F(BadInputTest, TenThousandFiles) {
    const std::string in = dir.file("many");
    fs::create_directories(in);
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%05d.jpg", i);
        WriteJpeg(in + name, 8, 8, SolidColor({static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 7}), 75);
    }
    WriteIni(dir.file("out") + "/");
    PixreelResult result = RunPixreel({"-d", in, "-o", "many"}, Ini());
    EXPECT_EQ(result.status, 0) << result.err.substr(0, 500);
    std::vector<std::string> lines = result.Lines();
    ASSERT_EQ(lines.size(), 3u + 1u + 10000u);
    EXPECT_EQ(lines[4], "Processed f00000.jpg");
    EXPECT_EQ(lines.back(), "Processed f09999.jpg");
    EXPECT_EQ(Frames(dir.file("out/many.avi")), 10000);
}
