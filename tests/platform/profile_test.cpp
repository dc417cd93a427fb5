#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace {

std::string Get(const std::string& file, const char* section, const char* key, const char* fallback = "<none>") {
    char buffer[512];
    GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file.c_str());
    return buffer;
}

int32_t GetInt(const std::string& file, const char* section, const char* key, int32_t fallback = 77) {
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, fallback, file.c_str()));
}

// The key of writer w's k-th write, "W<w>K<k>". Appended: GCC 12 at -O3 warns falsely
// (-Wrestrict) about "W" + std::string.
std::string WriterKey(int w, int k) {
    std::string key = "W";
    key += std::to_string(w);
    key += 'K';
    key += std::to_string(k);
    return key;
}

}  // namespace

TEST(Profile, MissingFileAndDefaults) {
    TempDir dir;
    const std::string ini = dir.file("none.ini");
    EXPECT_EQ(Get(ini, "Config", "JPGDir", "dflt"), "dflt");
    // The platform drops trailing blanks of the default, and a null default reads as "".
    EXPECT_EQ(Get(ini, "Config", "JPGDir", "jpg  \t"), "jpg");
    EXPECT_EQ(Get(ini, "Config", "JPGDir", nullptr), "");
    EXPECT_EQ(GetInt(ini, "Config", "FramesPerSec", 5), 5);
    EXPECT_EQ(GetInt(ini, "Config", "FramesPerSec", -3), -3);

    // The value is cut to the buffer; the count excludes the terminator.
    char small[4];
    EXPECT_EQ(GetPrivateProfileStringA("A", "B", "abcdef", small, sizeof small, ini.c_str()), 3u);
    EXPECT_STREQ(small, "abc");
    EXPECT_FALSE(std::filesystem::exists(ini)) << "reading never creates the file";
}

TEST(Profile, IntegerRules) {
    TempDir dir;
    const std::string ini = dir.file("ints.ini");
    WriteFileBytes(ini,
                   "[Config]\n"
                   "Text=abc\n"
                   "Suffix=12fps\n"
                   "Negative=-40\n"
                   "Blanks=   7   \n"
                   "Empty=\n"
                   "Huge=99999999999999999999999\n"
                   "HugeNegative=-99999999999\n"
                   "Unsigned=4294967295\n"
                   "Hex=0x10\n"
                   "Plus=+9\n"
                   "Quoted=\"42\"\n");
    EXPECT_EQ(GetInt(ini, "Config", "Text"), 0);
    EXPECT_EQ(GetInt(ini, "Config", "Suffix"), 12);
    EXPECT_EQ(GetInt(ini, "Config", "Negative"), -40);
    EXPECT_EQ(GetInt(ini, "Config", "Blanks"), 7);
    EXPECT_EQ(GetInt(ini, "Config", "Empty"), 0) << "a present but empty value is not a number";
    EXPECT_EQ(GetPrivateProfileIntA("Config", "Huge", 0, ini.c_str()), UINT32_MAX);
    EXPECT_EQ(GetInt(ini, "Config", "HugeNegative"), INT32_MIN);
    EXPECT_EQ(GetPrivateProfileIntA("Config", "Unsigned", 0, ini.c_str()), 4294967295u);
    EXPECT_EQ(GetInt(ini, "Config", "Hex"), 0) << "only decimal numbers";
    EXPECT_EQ(GetInt(ini, "Config", "Plus"), 9);
    EXPECT_EQ(GetInt(ini, "Config", "Quoted"), 42);
    EXPECT_EQ(GetInt(ini, "Config", "Missing", 5), 5);

    EXPECT_EQ(ProfileIntegerValue("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ProfileIntegerValue("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(ProfileIntegerValue("-"), 0);
    EXPECT_EQ(ProfileIntegerValue(nullptr), 0);
}

TEST(Profile, ReadingIsCaseInsensitiveAndTrims) {
    TempDir dir;
    const std::string ini = dir.file("read.ini");
    WriteFileBytes(ini,
                   "stray=before any section\n"
                   "; comment=not a key\n"
                   "[ Config ]\n"
                   "  JPGDir =  /home/me/photos/  \n"
                   "Copyright='Tavrin Ltd'\n"
                   "jpgdir=second one is ignored\n"
                   "[config]\n"
                   "Later=a second section of the same name is not read\n"
                   "[Detect]\n"
                   "AutoStop=1\n");
    EXPECT_EQ(Get(ini, "CONFIG", "jpgdir"), "/home/me/photos/");
    EXPECT_EQ(Get(ini, "Config", "Copyright"), "Tavrin Ltd") << "one pair of enclosing quotes is removed";
    EXPECT_EQ(Get(ini, "Config", "stray"), "<none>");
    EXPECT_EQ(Get(ini, "Config", "; comment"), "<none>");
    EXPECT_EQ(Get(ini, "Config", "Later"), "<none>");
    EXPECT_EQ(Get(ini, "detect", "AUTOSTOP"), "1");
    EXPECT_EQ(Get(ini, "Codec", "fccHandler"), "<none>");

    char list[64];
    const uint32_t sections = GetPrivateProfileStringA(nullptr, nullptr, "", list, sizeof list, ini.c_str());
    EXPECT_EQ(std::string(list, sections), std::string("Config\0config\0Detect\0", 21));
    const uint32_t keys = GetPrivateProfileStringA("Config", nullptr, "", list, sizeof list, ini.c_str());
    EXPECT_EQ(std::string(list, keys), std::string("JPGDir\0Copyright\0jpgdir\0", 24));
    // A list that does not fit ends in two NULs.
    char tiny[6];
    EXPECT_EQ(GetPrivateProfileStringA("Config", nullptr, "", tiny, sizeof tiny, ini.c_str()), 4u);
    EXPECT_EQ(std::string(tiny, 6), std::string("JPGD\0\0", 6));
}

TEST(Profile, WritesKeepTheRestOfTheFile) {
    TempDir dir;
    const std::string ini = dir.file("w.ini");

    // First write creates the file and the section.
    ASSERT_EQ(WritePrivateProfileStringA("Config", "FramesPerSec", "12", ini.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\nFramesPerSec=12\n");

    WriteFileBytes(ini,
                   "; Pixreel settings\n"
                   "[Config]\n"
                   "FramesPerSec=12\n"
                   "  jpgdir = /old/\n"
                   "\n"
                   "; detection\n"
                   "[Detect]\n"
                   "AutoStop=0\n");
    // Replacing keeps the key's spelling and indentation style of the name, and every other line.
    ASSERT_EQ(WritePrivateProfileStringA("config", "JPGDIR", "/new/", ini.c_str()), 1);
    // A new key goes after the last key of its section, before the lines leading into the next.
    ASSERT_EQ(WritePrivateProfileStringA("Config", "AVIStyle", "1", ini.c_str()), 1);
    // A new section goes at the end, after a blank line.
    ASSERT_EQ(WritePrivateProfileStringA("Codec", "CodecName", "Full Frames (Uncompressed)", ini.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(ini),
              "; Pixreel settings\n"
              "[Config]\n"
              "FramesPerSec=12\n"
              "jpgdir=/new/\n"
              "AVIStyle=1\n"
              "\n"
              "; detection\n"
              "[Detect]\n"
              "AutoStop=0\n"
              "\n"
              "[Codec]\n"
              "CodecName=Full Frames (Uncompressed)\n");

    // Deleting a key, then a section; deleting what is not there changes nothing.
    ASSERT_EQ(WritePrivateProfileStringA("Config", "FramesPerSec", nullptr, ini.c_str()), 1);
    ASSERT_EQ(WritePrivateProfileStringA("Detect", nullptr, nullptr, ini.c_str()), 1);
    ASSERT_EQ(WritePrivateProfileStringA("Nowhere", "x", nullptr, ini.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(ini),
              "; Pixreel settings\n"
              "[Config]\n"
              "jpgdir=/new/\n"
              "AVIStyle=1\n"
              "\n"
              "; detection\n"
              "[Codec]\n"
              "CodecName=Full Frames (Uncompressed)\n");

    const std::string absent = dir.file("absent.ini");
    EXPECT_EQ(WritePrivateProfileStringA("Config", "x", nullptr, absent.c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(absent)) << "a deletion never creates the file";
}

TEST(Profile, CrlfAndNoFinalNewline) {
    TempDir dir;
    const std::string ini = dir.file("crlf.ini");
    WriteFileBytes(ini, "[Config]\r\nJPGSuffix=bmp\r\nFramesPerSec=7");
    EXPECT_EQ(Get(ini, "Config", "JPGSuffix"), "bmp");
    EXPECT_EQ(GetInt(ini, "Config", "FramesPerSec"), 7);
    ASSERT_EQ(WritePrivateProfileStringA("Config", "Flip", "1", ini.c_str()), 1);
    ASSERT_EQ(WritePrivateProfileStringA("Detect", "ScaleType", "0", ini.c_str()), 1);
    // New lines take the file's own line end; the last line gets one before anything follows it.
    EXPECT_EQ(ReadFileBytes(ini),
              "[Config]\r\nJPGSuffix=bmp\r\nFramesPerSec=7\r\nFlip=1\r\n\r\n[Detect]\r\nScaleType=0\r\n");

    const std::string bare = dir.file("bare.ini");
    WriteFileBytes(bare, "[Config]\nA=1");
    ASSERT_EQ(WritePrivateProfileStringA("Config", "A", "2", bare.c_str()), 1);
    EXPECT_EQ(ReadFileBytes(bare), "[Config]\nA=2") << "a replaced line keeps its (missing) line end";
}

TEST(Profile, GarbageLoadsWithoutHarmAndSurvivesWrites) {
    TempDir dir;
    const std::string ini = dir.file("garbage.ini");
    std::string garbage = "\xEF\xBB\xBF[Config]\n";
    garbage += "\x01\x02\xff\xfe=binary\n";
    garbage += "=no name\n";
    garbage += "no equals sign at all\n";
    garbage += "[unterminated section\n";
    garbage += "Inside=unterminated\n";
    garbage += std::string("Nul=ab\0cd\n", 10);
    garbage += "[Config]\n";
    garbage += "Long=" + std::string(1 << 20, 'x') + "\n";
    garbage += "\r\r\n";
    garbage += "[Config";
    WriteFileBytes(ini, garbage);

    EXPECT_EQ(Get(ini, "unterminated section", "Inside"), "unterminated");
    EXPECT_EQ(Get(ini, "unterminated section", "Nul"), "ab") << "a NUL ends the value";
    EXPECT_EQ(Get(ini, "Config", "\x01\x02\xff\xfe"), "binary");
    char buffer[260];
    EXPECT_EQ(GetPrivateProfileStringA("Config", "Long", "", buffer, sizeof buffer, ini.c_str()), 0u)
        << "the key lives in the second [Config], which is never read";
    EXPECT_EQ(Get(ini, "Config", "no equals sign at all"), "<none>");

    // The BOM does not hide the first section, and writing keeps every garbage byte.
    ASSERT_EQ(WritePrivateProfileStringA("Config", "Added", "1", ini.c_str()), 1);
    EXPECT_EQ(Get(ini, "Config", "Added"), "1");
    // The new key follows the section's last key, the binary one; every other byte stays.
    std::string expected = garbage;
    expected.insert(expected.find("=no name"), "Added=1\n");
    EXPECT_TRUE(ReadFileBytes(ini) == expected);
}

TEST(Profile, RefusesTextsThatWouldBreakTheFile) {
    TempDir dir;
    const std::string ini = dir.file("refuse.ini");
    ASSERT_EQ(WritePrivateProfileStringA("Config", "JPGDir", "/ok/", ini.c_str()), 1);
    const std::string before = ReadFileBytes(ini);
    errno = 0;
    EXPECT_EQ(WritePrivateProfileStringA("Config", "JPGDir", "/a\nInjected=1", ini.c_str()), 0);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(WritePrivateProfileStringA("Config", "A=B", "1", ini.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileStringA("Config", "[X]", "1", ini.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileStringA("Con]fig", "A", "1", ini.c_str()), 0);
    EXPECT_EQ(WritePrivateProfileStringA(nullptr, "A", "1", ini.c_str()), 0);
    EXPECT_EQ(ReadFileBytes(ini), before);

    // A folder that does not exist is not created.
    EXPECT_EQ(WritePrivateProfileStringA("Config", "A", "1", dir.file("no/such/dir.ini").c_str()), 0);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Profile, ReplaceKeepsModeLinkAndLeavesNoTemporaryFiles) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    const std::string link = dir.file("link.ini");
    WriteFileBytes(real, "[Config]\nA=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink(real, link);

    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(WritePrivateProfileStringA("Config", "A", std::to_string(i).c_str(), link.c_str()), 1);

    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link stays a link";
    EXPECT_EQ(ReadFileBytes(real), "[Config]\nA=19\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2) << "no temporary file is left behind";
}

TEST(Profile, OversizedFileIsNeitherReadNorRewritten) {
    TempDir dir;
    const std::string ini = dir.file("big.ini");
    std::string big = "[Config]\nA=1\n";
    big.resize(17u << 20, ';');
    WriteFileBytes(ini, big);
    EXPECT_EQ(GetInt(ini, "Config", "A", 5), 5);
    errno = 0;
    EXPECT_EQ(WritePrivateProfileStringA("Config", "A", "2", ini.c_str()), 0);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(std::filesystem::file_size(ini), big.size());
}

// Several processes writing their own keys to one file at the same time: with the lock and the
// atomic replace, no key is lost and the file is never seen half written.
TEST(Profile, ConcurrentWritersLoseNothing) {
    TempDir dir;
    const std::string ini = dir.file("shared.ini");
    constexpr int kWriters = 4;
    constexpr int kKeys = 40;
    pid_t children[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                const std::string key = WriterKey(w, k);
                const std::string section = k % 2 ? "Config" : "Detect";
                failures += WritePrivateProfileStringA(section.c_str(), key.c_str(), std::to_string(k).c_str(),
                                                      ini.c_str()) != 1;
                // Readers running meanwhile always see a whole file.
                if (GetPrivateProfileIntA(section.c_str(), key.c_str(), -1, ini.c_str()) != static_cast<uint32_t>(k))
                    ++failures;
            }
            ::_exit(failures ? 1 : 0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            const std::string key = WriterKey(w, k);
            EXPECT_EQ(GetInt(ini, k % 2 ? "Config" : "Detect", key.c_str(), -1), k) << key;
        }
    }
}
