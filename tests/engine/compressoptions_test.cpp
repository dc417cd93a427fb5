#include "engine/CompressOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ProcessCommandLine.h"
#include "support/TempDir.h"

namespace {

class CompressOptionsTest : public testing::Test {
protected:
    void SetUp() override {
        ini_ = dir_.file("pixreel.ini");
        ::setenv("PIXREEL_INI", ini_.c_str(), 1);
        SetProcessCommandLineText("");
    }
    void TearDown() override {
        ::unsetenv("PIXREEL_INI");
        SetProcessCommandLineText("");
    }

    TempDir dir_;
    std::string ini_;
};

AVICOMPRESSOPTIONS Garbage() {
    AVICOMPRESSOPTIONS options;
    std::memset(&options, 0x5A, sizeof options);
    return options;
}

}  // namespace

TEST_F(CompressOptionsTest, NothingStoredGivesAnEmptyRecord) {
    AVICOMPRESSOPTIONS options = Garbage();
    char name[256] = "stale";
    LoadCompressOptions(options, name, sizeof name);
    EXPECT_EQ(options.fccType, 0u);
    EXPECT_EQ(options.fccHandler, 0u);
    EXPECT_EQ(options.dwKeyFrameEvery, 0u);
    EXPECT_EQ(options.dwQuality, 0u);
    EXPECT_EQ(options.dwBytesPerSecond, 0u);
    EXPECT_EQ(options.dwFlags, 0u);
    EXPECT_EQ(options.lpFormat, nullptr);
    EXPECT_EQ(options.cbFormat, 0u);
    EXPECT_EQ(options.lpParms, nullptr);
    EXPECT_EQ(options.cbParms, 0u);
    EXPECT_EQ(options.dwInterleaveEvery, 0u);
    EXPECT_STREQ(name, "");
}

TEST_F(CompressOptionsTest, SavedInTheirOrderAndReadBack) {
    WriteFileBytes(ini_, "[Config]\nRememberCodec=1\n");
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = comptypeDIB;
    options.dwKeyFrameEvery = 15;
    options.dwQuality = 7500;
    options.dwBytesPerSecond = 300000;
    options.dwFlags = 2;
    options.cbFormat = 40;
    options.cbParms = 99;  // never stored
    options.dwInterleaveEvery = 4000000000u;
    // Stored even while the process runs with arguments.
    SetProcessCommandLineText("pixreel -d /in");
    SaveCompressOptions(options, "Full Frames (Uncompressed)");
    // The second "KeyFrameEvery" replaces the first, so the key stays where it was first written.
    EXPECT_EQ(ReadFileBytes(ini_),
              "[Config]\nRememberCodec=1\n\n"
              "[Codec]\n"
              "fccType=1935960438\n"
              "fccHandler=541215044\n"
              "KeyFrameEvery=15\n"
              "dwQuality=7500\n"
              "dwBytesPerSecond=300000\n"
              "dwFlags=2\n"
              "lpFormat=0\n"
              "cbFormat=40\n"
              "lpParms=0\n"
              "dwInterleaveEvery=4000000000\n"
              "CodecName=Full Frames (Uncompressed)\n");

    AVICOMPRESSOPTIONS loaded = Garbage();
    char name[256];
    LoadCompressOptions(loaded, name, sizeof name);
    EXPECT_EQ(loaded.fccType, options.fccType);
    EXPECT_EQ(loaded.fccHandler, comptypeDIB);
    EXPECT_EQ(loaded.dwKeyFrameEvery, 15u);
    EXPECT_EQ(loaded.dwQuality, 7500u);
    EXPECT_EQ(loaded.dwBytesPerSecond, 300000u);
    EXPECT_EQ(loaded.dwFlags, 2u);
    EXPECT_EQ(loaded.cbFormat, 40u);
    EXPECT_EQ(loaded.cbParms, 0u);
    EXPECT_EQ(loaded.dwInterleaveEvery, 4000000000u);
    EXPECT_STREQ(name, "Full Frames (Uncompressed)");
}

TEST_F(CompressOptionsTest, HandEditedValues) {
    WriteFileBytes(ini_,
                   "[codec]\r\n"
                   "fccHandler=abc\r\n"
                   "dwQuality=-1\r\n"
                   "lpFormat=140737488355328\r\n"
                   "lpParms=12345\r\n"
                   "dwFlags=4 keyframes\r\n"
                   "KeyFrameEvery=99999999999\r\n"
                   "CodecName=" + std::string(200, 'n'));
    AVICOMPRESSOPTIONS options = Garbage();
    char name[256];
    LoadCompressOptions(options, name, sizeof name);
    EXPECT_EQ(options.fccHandler, 0u) << "not a number: 0, so the writer asks";
    EXPECT_EQ(options.dwQuality, 0xFFFFFFFFu) << "the stored pattern of -1";
    EXPECT_EQ(options.lpFormat, nullptr) << "a stored number is never taken for an address";
    EXPECT_EQ(options.lpParms, nullptr);
    EXPECT_EQ(options.dwFlags, 4u);
    EXPECT_EQ(options.dwKeyFrameEvery, 0xFFFFFFFFu) << "beyond 32 bits: the nearest limit";
    EXPECT_EQ(std::strlen(name), 127u) << "the name is cut to 127 characters";
}

TEST(FourCCText, PrintableCodesReadAsTheyAreOthersInHex) {
    EXPECT_EQ(FourCCText(mmioFOURCC('M', 'J', 'P', 'G')), "MJPG");
    EXPECT_EQ(FourCCText(comptypeDIB), "DIB ");
    EXPECT_EQ(FourCCText(0x01020304), "0x01020304");
    EXPECT_EQ(FourCCText(0), "0x00000000");
    EXPECT_EQ(FourCCText(mmioFOURCC('A', '\x1b', 'B', 'C')), "0x43421B41");
}
