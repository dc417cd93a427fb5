// --help and --version of the real program: they print and end with status 0 instead of starting
// the unattended run that any other unknown token starts.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/PixreelRun.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: pixreel -d DIR";
constexpr const char* kVersion = "Pixreel Version Linux 1.0.0\n";

// A settings file and a folder of images that any run started by mistake would convert.
class InfoOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(PixreelProgram())) << "build the pixreel program first";
        fs::create_directories(dir.file("in"));
        fs::create_directories(dir.file("out"));
        WriteJpeg(dir.file("in/a.jpg"), 16, 16, Pattern(1));
        WriteJpeg(dir.file("in/b.jpg"), 16, 16, Pattern(2));
        settings = "[Config]\nJPGDir=" + dir.file("in") + "/\nOutputPath=" + dir.file("out") +
                   "/\nRememberCodec=1\n[Codec]\nfccHandler=541215044\n";
        WriteFileBytes(Ini(), settings);
    }
    std::string Ini() const { return dir.file("pixreel.ini"); }
    size_t OutputFiles() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()));
    }

    TempDir dir;
    std::string settings;
};

}  // namespace

TEST_F(InfoOptionsTest, PrintAndEndWithoutARun) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;  // the start of standard output
        std::map<std::string, std::string> env;
    };
    // A display that cannot be opened: neither option ever tries one.
    const std::map<std::string, std::string> display{{"DISPLAY", ":4711"}};
    const std::vector<Case> cases = {
        {{"--help"}, "Pixreel turns", {}},
        {{"--HELP"}, "Pixreel turns", {}},
        {{"--help"}, "Pixreel turns", display},
        {{"--version"}, kVersion, {}},
        {{"--Version"}, kVersion, display},
        {{"-u", "--version", "--help"}, kVersion, {}},  // the first one asked is answered
        {{"-d", "elsewhere", "--help"}, "Pixreel turns", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " ... " + c.args.back() + (c.env.empty() ? "" : " with DISPLAY"));
        const PixreelResult result = RunPixreel(c.args, Ini(), c.env);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out.rfind(c.expected, 0), 0u) << result.out;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(OutputFiles(), 0u) << "no conversion";
        EXPECT_EQ(ReadFileBytes(Ini()), settings) << "the settings are left alone";
    }
    const PixreelResult help = RunPixreel({"--help"}, Ini());
    EXPECT_NE(help.out.find(kUsage), std::string::npos);
    EXPECT_NE(help.out.find("pixreel --help | --version"), std::string::npos);
    EXPECT_NE(help.out.find(Ini()), std::string::npos) << "names the settings file";
}

TEST_F(InfoOptionsTest, AsAnOptionsArgumentItIsJustText) {
    // "-o" takes the next token whatever it looks like: the video is named "--help".
    const PixreelResult result = RunPixreel({"-o", "--help"}, Ini());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(dir.file("out/--help.avi"))) << result.out;
    // Any other unknown token still starts the unattended run over the stored folder.
    const PixreelResult other = RunPixreel({"--verbose"}, Ini());
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_TRUE(fs::exists(dir.file("out/TavrinVideoFile.avi"))) << other.out;
}
