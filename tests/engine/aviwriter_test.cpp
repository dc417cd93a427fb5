#include "engine/AviWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/CompressOptions.h"
#include "engine/ImageFile.h"
#include "platform/Codecs.h"
#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"
#include "platform/SystemError.h"
#include "support/AviTestFrames.h"
#include "support/FakeWindowServices.h"
#include "support/Ffprobe.h"
#include "support/TempDir.h"

namespace {

struct Box {
    std::string text;
    std::string caption;
    unsigned flags;
};

// A writer whose compressor choice is scripted: it answers with the given compressor (0 for a
// cancel) and counts the times it was asked.
class ScriptedWriter : public CAviWriter {
public:
    int ChooseCompressor(const char* samplePath, AVICOMPRESSOPTIONS& options, char* codecName,
                         int& alwaysUse) override {
        ++asked;
        askedWith = samplePath ? samplePath : "";
        if (answer == 0)
            return 0;
        options.fccHandler = answer;
        options.dwQuality = 7500;
        options.dwKeyFrameEvery = keyFrameEvery;
        std::strcpy(codecName, name);
        alwaysUse = always;
        return 1;
    }

    DWORD answer = comptypeDIB;
    DWORD keyFrameEvery = 0;
    int always = 1;
    const char* name = "Full Frames (Uncompressed)";
    int asked = 0;
    std::string askedWith;
};

// Puts a test picture into an image file as if it had been decoded from path.
void FillFrame(CImageFile& frame, const TestPicture& picture, const std::string& path) {
    CPixImage image;
    ASSERT_NE(image.Allocate(static_cast<uint32_t>(picture.header.biWidth),
                             static_cast<uint32_t>(picture.header.biHeight), picture.header.biBitCount, 0),
              nullptr);
    ASSERT_EQ(image.Header().biSizeImage, picture.bits.size());
    std::memcpy(image.PixelBits(), picture.bits.data(), picture.bits.size());
    if (!picture.palette.empty())
        image.LoadPaletteQuads(picture.palette.data(), static_cast<uint32_t>(picture.palette.size()));
    frame.Adopt(path, image);
}

std::string FrameName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.JPG", n);
    return name;
}

uint32_t U32At(const std::string& bytes, size_t offset) {
    return static_cast<uint8_t>(bytes[offset]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 3])) << 24;
}

int16_t I16At(const std::string& bytes, size_t offset) {
    return static_cast<int16_t>(static_cast<uint8_t>(bytes[offset]) | static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

// The data of the n-th 'strh' chunk of a file (0-based); empty when there is none.
std::string StreamHeader(const std::string& file, int n) {
    size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = file.find("strh", at == 0 ? 0 : at + 4);
        if (at == std::string::npos)
            return {};
    }
    return file.substr(at + 8, U32At(file, at + 4));
}

bool HaveCompressor(DWORD fcc) {
    ICINFO info{};
    return ICInfo(ICTYPE_VIDEO, fcc, &info) != 0;
}

// Runs body in a child process, where limits and identities can be changed freely; the child's
// exit status is the number of failed checks (reported on stderr).
int InChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

class AviWriterTest : public testing::Test {
protected:
    void SetUp() override {
        ::setenv("PIXREEL_INI", dir_.file("pixreel.ini").c_str(), 1);
        SetProcessCommandLineText("");
        SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned flags) {
            boxes_.push_back({text, caption, flags});
            return IDOK;
        });
    }
    void TearDown() override {
        SetMessageBoxHandler({});
        ::unsetenv("PIXREEL_INI");
    }

    // Writes the pictures into path with the writer: Open, CreateStreams, one WriteFrame each.
    void WriteAll(CAviWriter& writer, const std::string& path, const std::vector<TestPicture>& pictures,
                  bool names, int remember = 1) {
        ASSERT_EQ(writer.Open(path.c_str()), 1);
        CImageFile frame;
        FillFrame(frame, pictures.at(0), "/photos/" + FrameName(0));
        ASSERT_EQ(writer.CreateStreams(frame, remember, names ? 1 : 0), 1);
        for (size_t i = 0; i < pictures.size(); ++i) {
            FillFrame(frame, pictures[i], "/photos/" + FrameName(static_cast<int>(i)));
            ASSERT_EQ(writer.WriteFrame(frame), 1) << "frame " << i;
        }
    }

    TempDir dir_;
    std::vector<Box> boxes_;
};

}  // namespace

TEST_F(AviWriterTest, OpenReplacesTheFileAndBalancesInit) {
    const std::string path = dir_.file("out.avi");
    WriteFileBytes(path, std::string(100000, 'x'));
    const int initsBefore = AVIFileInitCount();
    {
        ScriptedWriter writer;
        EXPECT_EQ(writer.Rate(), 12);
        ASSERT_EQ(writer.Open(path.c_str()), 1);
        EXPECT_EQ(writer.InitCount(), 1);
        EXPECT_EQ(AVIFileInitCount(), initsBefore + 1);
        EXPECT_EQ(writer.ReleaseAll(), 1);
        EXPECT_EQ(ReadFileBytes(path).substr(0, 4), "RIFF") << "the old file is replaced";
        EXPECT_EQ(ReadFileBytes(path).find("xxxx"), std::string::npos);

        // A second Open balances the first initialisation before its own.
        ASSERT_EQ(writer.Open(path.c_str()), 1);
        EXPECT_EQ(writer.InitCount(), 1);
        EXPECT_EQ(AVIFileInitCount(), initsBefore + 1);
    }
    EXPECT_EQ(AVIFileInitCount(), initsBefore) << "the destructor ends the outstanding initialisation";
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(AviWriterTest, OpenInAMissingFolderShowsTheSystemReason) {
    const std::string path = dir_.file("missing/out.avi");
    ScriptedWriter writer;
    EXPECT_EQ(writer.Open(path.c_str()), 0);
    EXPECT_EQ(writer.FrameCount(), 0);
    EXPECT_EQ(writer.LastError(), static_cast<DWORD>(ENOENT));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, SystemErrorText(ENOENT) + "\nFailed to open the file " + path);
    EXPECT_EQ(boxes_[0].caption, "");
    EXPECT_EQ(boxes_[0].flags, MB_ICONHAND | MB_SYSTEMMODAL);
    EXPECT_EQ(writer.SystemText(), SystemErrorText(ENOENT));
    EXPECT_EQ(writer.InitCount(), 1) << "the library stays initialised until the next Open";
    // Streams for the file that failed: 0, and no second box.
    CImageFile frame;
    FillFrame(frame, MakeTestPicture(8, 8, 24, 0), "/p/a.jpg");
    int remember = 0;
    EXPECT_EQ(writer.CreateStreams(frame, remember, 1), 0);
    EXPECT_EQ(writer.asked, 0);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(AviWriterTest, OpenInAReadOnlyFolderShowsTheSystemReason) {
    const std::string folder = dir_.file("readonly");
    ASSERT_EQ(::mkdir(folder.c_str(), 0555), 0);
    const std::string path = folder + "/out.avi";
    // Permissions do not bind root; the check runs as an ordinary user then.
    const int failures = InChild([&]() {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 50;
        std::vector<std::string> texts;
        SetMessageBoxHandler([&texts](const std::string& text, const std::string&, unsigned) {
            texts.push_back(text);
            return IDOK;
        });
        CAviWriter writer;
        int bad = writer.Open(path.c_str()) != 0;
        const std::string expected = SystemErrorText(EACCES) + "\nFailed to open the file " + path;
        bad += texts.size() != 1 || texts[0] != expected;
        if (bad)
            std::fprintf(stderr, "box: %s\n", texts.empty() ? "(none)" : texts[0].c_str());
        return bad;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(AviWriterTest, CompressorIsAskedForUnlessRememberedAndStored) {
    const std::string path = dir_.file("ask.avi");
    const std::string ini = dir_.file("pixreel.ini");
    CImageFile frame;
    FillFrame(frame, MakeTestPicture(32, 24, 24, 0), "/photos/IMG_0001.JPG");

    ScriptedWriter writer;
    // Nothing stored: asked even though the codec is to be remembered.
    int remember = 1;
    ASSERT_EQ(writer.Open(path.c_str()), 1);
    writer.always = 1;
    ASSERT_EQ(writer.CreateStreams(frame, remember, 0), 1);
    EXPECT_EQ(writer.asked, 1);
    EXPECT_EQ(writer.askedWith, "/photos/IMG_0001.JPG");
    EXPECT_EQ(remember, 1) << "receives the dialog's always-use answer";
    writer.ReleaseAll();
    AVICOMPRESSOPTIONS stored{};
    char name[256];
    LoadCompressOptions(stored, name, sizeof name);
    EXPECT_EQ(stored.fccHandler, comptypeDIB);
    EXPECT_STREQ(name, "Full Frames (Uncompressed)");

    // Remembered and stored: nobody is asked, nothing is written.
    const std::string before = ReadFileBytes(ini);
    ASSERT_EQ(writer.Open(path.c_str()), 1);
    ASSERT_EQ(writer.CreateStreams(frame, remember, 0), 1);
    EXPECT_EQ(writer.asked, 1);
    writer.ReleaseAll();
    EXPECT_EQ(ReadFileBytes(ini), before);

    // Not remembered: asked again; the answer's flag comes back.
    remember = 0;
    writer.always = 0;
    ASSERT_EQ(writer.Open(path.c_str()), 1);
    ASSERT_EQ(writer.CreateStreams(frame, remember, 0), 1);
    EXPECT_EQ(writer.asked, 2);
    EXPECT_EQ(remember, 0);
    writer.ReleaseAll();

    // Cancelled: result 0, no message, the stored options unchanged.
    const std::string beforeCancel = ReadFileBytes(ini);
    writer.answer = 0;
    ASSERT_EQ(writer.Open(path.c_str()), 1);
    EXPECT_EQ(writer.CreateStreams(frame, remember, 0), 0);
    writer.ReleaseAll();
    EXPECT_EQ(ReadFileBytes(ini), beforeCancel);
    EXPECT_TRUE(boxes_.empty());

    // The plain writer has nobody to ask.
    CAviWriter plain;
    remember = 0;
    ASSERT_EQ(plain.Open(path.c_str()), 1);
    EXPECT_EQ(plain.CreateStreams(frame, remember, 0), 0);
}

TEST_F(AviWriterTest, StoredCompressorThatCannotServeThePictureSaysWhy) {
    const std::string path = dir_.file("stored.avi");
    struct Case {
        DWORD fcc;
        int width;
        std::string box;
    };
    const std::string missing = "The compressor 0x01020304 is not available on this machine; choose another one for ";
    const std::string refused = "The compressor MJPG does not take pictures of 65600 x 2 pixels at 24 bits; choose "
                                "another one for ";
    for (const Case& c :
         {Case{0x01020304, 32, missing + path}, Case{mmioFOURCC('M', 'J', 'P', 'G'), 65600, refused + path}}) {
        SCOPED_TRACE(c.box);
        boxes_.clear();
        AVICOMPRESSOPTIONS options{};
        options.fccType = ICTYPE_VIDEO;
        options.fccHandler = c.fcc;
        SaveCompressOptions(options, "stored");
        CImageFile frame;
        FillFrame(frame, MakeTestPicture(c.width, 2, 24, 0), "/photos/a.jpg");
        CAviWriter writer;
        int remember = 1;
        ASSERT_EQ(writer.Open(path.c_str()), 1);
        EXPECT_EQ(writer.CreateStreams(frame, remember, 0), 0);
        writer.ReleaseAll();
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text, c.box);
    }
}

TEST_F(AviWriterTest, AFileThatAnotherWriterHoldsIsLeftAlone) {
    const std::string path = dir_.file("held.avi");
    CImageFile frame;
    FillFrame(frame, MakeTestPicture(16, 16, 24, 0), "/p/a.jpg");
    AVICOMPRESSOPTIONS options{};
    options.fccHandler = comptypeDIB;
    SaveCompressOptions(options, "Full Frames (Uncompressed)");
    CAviWriter first;
    int remember = 1;
    ASSERT_EQ(first.Open(path.c_str()), 1);
    ASSERT_EQ(first.CreateStreams(frame, remember, 0), 1);
    ASSERT_EQ(first.WriteFrame(frame), 1);

    CAviWriter second;
    EXPECT_EQ(second.Open(path.c_str()), 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "The AVI file " + path + " is in use by another Pixreel");
    // The first writer's file is still the one at the path, and completes as usual.
    ASSERT_EQ(first.WriteFrame(frame), 1);
    EXPECT_EQ(first.ReleaseAll(), 1);
    EXPECT_EQ(ProbeFile(path, true).streams.at(0).nbReadFrames, 2);
    // Once it is complete it may be replaced; no name of the writer's own is left behind.
    EXPECT_EQ(second.Open(path.c_str()), 1);
    second.ReleaseAll();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2) << "held.avi, pixreel.ini";
}

TEST_F(AviWriterTest, KeyFrameBitIsAddedButNotStored) {
    ScriptedWriter writer;
    writer.keyFrameEvery = 3;
    CImageFile frame;
    FillFrame(frame, MakeTestPicture(16, 16, 24, 0), "/p/a.jpg");
    int remember = 0;
    ASSERT_EQ(writer.Open(dir_.file("k.avi").c_str()), 1);
    ASSERT_EQ(writer.CreateStreams(frame, remember, 0), 1);
    EXPECT_EQ(writer.KeyFrameInterval(), 3u);
    writer.ReleaseAll();
    AVICOMPRESSOPTIONS stored{};
    LoadCompressOptions(stored, nullptr, 0);
    EXPECT_EQ(stored.dwKeyFrameEvery, 3u);
    EXPECT_EQ(stored.dwFlags & AVICOMPRESSF_KEYFRAMES, 0u);
}

TEST_F(AviWriterTest, DocumentWriterAsksTheMainWindow) {
    CImageFile frame;
    FillFrame(frame, MakeTestPicture(16, 16, 24, 0), "/p/a.jpg");
    const std::string path = dir_.file("doc.avi");

    // No main window: the codec-dialog error box, and no output.
    FakeWindowServices none;
    none.hasMainWindow = false;
    CDocAviWriter lonely(none);
    int remember = 0;
    ASSERT_EQ(lonely.Open(path.c_str()), 1);
    EXPECT_EQ(lonely.CreateStreams(frame, remember, 0), 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, LoadStringText(IDS_CODEC_DIALOG_ERROR));
    EXPECT_EQ(boxes_[0].flags, MB_ICONHAND);
    EXPECT_EQ(none.CountOf("RequestCodec"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("pixreel.ini")));
    lonely.ReleaseAll();  // until then the file is its own

    // A window that answers: the request carries the sample and the options; the answer is kept.
    struct Answering : FakeWindowServices {
        int RequestCodec(CodecRequest& request) override {
            sample = request.SampleFile;
            startedWith = request.AlwaysUse;
            request.Options->fccHandler = comptypeDIB;
            request.Options->dwQuality = 10000;
            request.AlwaysUse = 1;
            std::strcpy(request.CodecName, "Full Frames (Uncompressed)");
            return 1;
        }
        std::string sample;
        int startedWith = -1;
    } window;
    window.hasMainWindow = true;
    CDocAviWriter writer(window);
    ASSERT_EQ(writer.Open(path.c_str()), 1);
    ASSERT_EQ(writer.CreateStreams(frame, remember, 0), 1);
    EXPECT_EQ(window.sample, "/p/a.jpg");
    EXPECT_EQ(window.startedWith, 0);
    EXPECT_EQ(remember, 1);
    char name[256];
    AVICOMPRESSOPTIONS stored{};
    LoadCompressOptions(stored, name, sizeof name);
    EXPECT_EQ(stored.fccHandler, comptypeDIB);
    EXPECT_STREQ(name, "Full Frames (Uncompressed)");
    writer.ReleaseAll();

    // An answer for this run only is used for the file but leaves the stored choice alone.
    struct ForThisRun : FakeWindowServices {
        int RequestCodec(CodecRequest& request) override {
            request.Options->fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
            request.Options->dwQuality = 7500;
            std::strcpy(request.CodecName, "Motion JPEG");
            return kCodecForThisRun;
        }
    } console;
    console.hasMainWindow = true;
    const std::string before = ReadFileBytes(dir_.file("pixreel.ini"));
    CDocAviWriter runOnly(console);
    remember = 0;
    ASSERT_EQ(runOnly.Open(path.c_str()), 1);
    ASSERT_EQ(runOnly.CreateStreams(frame, remember, 0), 1);
    runOnly.ReleaseAll();
    EXPECT_EQ(ReadFileBytes(dir_.file("pixreel.ini")), before);
    ProbeResult probe = ProbeFile(path, true);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams[0].codecName, "mjpeg");
}

TEST_F(AviWriterTest, InfoBlockLayout) {
    uint8_t block[kAviInfoBlockBytes];
    BuildAviInfoBlock(block, "Tavrin Ltd", "Pixreel 1.0", "2026-12-07", 2026);
    const std::string bytes(reinterpret_cast<const char*>(block), sizeof block);
    EXPECT_EQ(bytes.substr(0, 4), "INFO");
    EXPECT_EQ(bytes.substr(4, 4), "ISFT");
    EXPECT_EQ(U32At(bytes, 8), 128u);
    EXPECT_EQ(bytes.substr(12, 12), std::string("Pixreel 1.0\0", 12));
    EXPECT_EQ(bytes.substr(140, 4), "ICOP");
    EXPECT_EQ(U32At(bytes, 144), 128u);
    EXPECT_EQ(bytes.substr(148, 28), std::string("Copyright \xA9 2026 Tavrin Ltd\0", 28));
    EXPECT_EQ(bytes.substr(276, 4), "ICRD");
    EXPECT_EQ(U32At(bytes, 280), 128u);
    EXPECT_EQ(bytes.substr(284, 11), std::string("2026-12-07\0", 11));
    // Every byte after a text is zero.
    for (size_t i = 12 + 11; i < 140; ++i)
        ASSERT_EQ(block[i], 0) << i;
    for (size_t i = 284 + 10; i < 412; ++i)
        ASSERT_EQ(block[i], 0) << i;

    // Long texts are cut to 127 bytes, never inside a UTF-8 character; the 128th byte stays 0.
    const std::string owner = std::string(109, 'o') + "\xC3\xA9" + std::string(40, 'x');
    BuildAviInfoBlock(block, owner.c_str(), std::string(300, 's').c_str(), nullptr, 2026);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block + 12)), std::string(127, 's'));
    EXPECT_EQ(block[12 + 127], 0);
    // "Copyright \xA9 2026 " is 17 bytes; with 109 o's the e-acute would take bytes 127 and 128.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block + 148)), "Copyright \xA9 2026 " + std::string(109, 'o'));

    BuildAviInfoBlock(block, "", "", "", 2026);
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(today, sizeof today, "%Y-%m-%d", &local);
    EXPECT_STREQ(reinterpret_cast<const char*>(block + 284), today) << "no date given: today";
}

TEST_F(AviWriterTest, NamePositionsFollowTheRateAtWritingTime) {
    ScriptedWriter writer;
    writer.SetRate(5);
    EXPECT_EQ(writer.TextPosition(3), 36);
    writer.SetRate(0);
    EXPECT_EQ(writer.Rate(), 1) << "a rate below 1 is taken as 1";
    writer.SetRate(-7);
    EXPECT_EQ(writer.Rate(), 1);
    writer.SetRate(32);
    EXPECT_EQ(writer.TextPosition(100000000), 187500000);
}

TEST_F(AviWriterTest, FramesAndNamesReadBackWithFfprobe) {
    PIXREEL_REQUIRE_TOOLS(HaveProgram("ffprobe") && HaveProgram("ffmpeg"), "ffprobe/ffmpeg missing");
    const std::string path = dir_.file("names.avi");
    std::vector<TestPicture> pictures;
    for (int i = 0; i < 4; ++i)
        pictures.push_back(MakeTestPicture(40, 30, 24, i));

    ScriptedWriter writer;
    writer.SetRate(5);
    WriteAll(writer, path, pictures, true);
    // The rate changes while the file stays open: the video keeps 5 fps, later names move.
    writer.SetRate(4);
    CImageFile frame;
    for (int i = 4; i < 6; ++i) {
        pictures.push_back(MakeTestPicture(40, 30, 24, i));
        FillFrame(frame, pictures.back(), "/photos/" + FrameName(i));
        ASSERT_EQ(writer.WriteFrame(frame), 1);
    }
    writer.WriteInfo("Tavrin Ltd", "Pixreel", "2026-12-07");
    ASSERT_EQ(writer.ReleaseAll(), 1);
    EXPECT_TRUE(boxes_.empty());

    const ProbeResult probe = ProbeFile(path, true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    ASSERT_EQ(probe.streams.size(), 2u) << probe.raw;
    EXPECT_EQ(probe.streams[0].codecType, "video");
    EXPECT_EQ(probe.streams[0].codecName, "rawvideo");
    EXPECT_EQ(probe.streams[0].width, 40);
    EXPECT_EQ(probe.streams[0].height, 30);
    EXPECT_EQ(probe.streams[0].rFrameRate, "5/1");
    EXPECT_EQ(probe.streams[0].nbReadFrames, 6);
    EXPECT_NEAR(probe.streams[0].duration, 6.0 / 5, 0.01);
    EXPECT_NE(probe.streams[1].codecType, "video");
    EXPECT_EQ(probe.tags.count("software") ? probe.tags.at("software") : "", "Pixreel") << probe.raw;
    EXPECT_EQ(probe.tags.count("date") ? probe.tags.at("date") : "", "2026-12-07");
    ASSERT_TRUE(probe.tags.count("copyright")) << probe.raw;
    EXPECT_NE(probe.tags.at("copyright").find("Tavrin Ltd"), std::string::npos);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    EXPECT_NE(probe.tags.at("copyright").find(std::to_string(local.tm_year + 1900)), std::string::npos);

    // Names at n x 60 / rate with the rate of their writing: 5 fps for frames 0-3, 4 fps after.
    const std::vector<ProbePacket> names = ProbePackets(path, 1);
    std::vector<int64_t> positions;
    for (const ProbePacket& packet : names)
        positions.push_back(packet.pts);
    EXPECT_EQ(positions, (std::vector<int64_t>{0, 12, 24, 36, 60, 75}));
    std::string expectedNames;
    for (int i = 0; i < 6; ++i)
        expectedNames += FrameName(i) + std::string(1, '\0');
    EXPECT_EQ(StreamPayload(path, 1), expectedNames);

    // Stream headers: the video keeps its rate; the text band lies just below the picture.
    const std::string file = ReadFileBytes(path);
    const std::string video = StreamHeader(file, 0);
    const std::string text = StreamHeader(file, 1);
    ASSERT_GE(video.size(), 56u);
    ASSERT_GE(text.size(), 56u);
    EXPECT_EQ(video.substr(0, 4), "vids");
    EXPECT_EQ(U32At(video, 20), 1u);  // dwScale
    EXPECT_EQ(U32At(video, 24), 5u);  // dwRate
    EXPECT_EQ(text.substr(0, 8), "txtsDRAW");
    EXPECT_EQ(U32At(text, 20), 1u);
    EXPECT_EQ(U32At(text, 24), 60u);
    EXPECT_EQ(I16At(text, 48), 0);   // rcFrame.left
    EXPECT_EQ(I16At(text, 50), 30);  // rcFrame.top = picture height
    EXPECT_EQ(I16At(text, 52), 40);  // rcFrame.right
    EXPECT_EQ(I16At(text, 54), 42);  // rcFrame.bottom

    // Every frame a key frame at interval 0; the pixels come back exactly.
    for (const ProbePacket& packet : ProbePackets(path, 0))
        EXPECT_TRUE(packet.key);
    const auto decoded = DecodeFrames(path, 40, 30, RowOrder::BottomUpBgr);
    ASSERT_EQ(decoded.size(), pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_TRUE(decoded[i] == pictures[i].BottomUpBgr()) << "frame " << i;
}

TEST_F(AviWriterTest, PalettedFramesDecodeToTheirColours) {
    PIXREEL_REQUIRE_TOOLS(HaveProgram("ffmpeg"), "ffmpeg missing");
    const std::string path = dir_.file("pal.avi");
    std::vector<TestPicture> pictures;
    for (int i = 0; i < 3; ++i)
        pictures.push_back(MakeTestPicture(33, 17, 8, i));  // odd width: padded rows
    ScriptedWriter writer;
    writer.SetRate(1);
    WriteAll(writer, path, pictures, false);
    ASSERT_EQ(writer.ReleaseAll(), 1);

    const ProbeResult probe = ProbeFile(path, true);
    ASSERT_EQ(probe.streams.size(), 1u) << probe.raw;
    EXPECT_EQ(probe.streams[0].rFrameRate, "1/1");
    EXPECT_EQ(probe.streams[0].nbReadFrames, 3);
    const auto decoded = DecodeFrames(path, 33, 17, RowOrder::BottomUpBgr);
    ASSERT_EQ(decoded.size(), 3u);
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_TRUE(decoded[i] == pictures[i].BottomUpBgr()) << "frame " << i;
}

TEST_F(AviWriterTest, KeyFrameIntervalWithATemporalCompressor) {
    const DWORD fmp4 = mmioFOURCC('F', 'M', 'P', '4');
    PIXREEL_REQUIRE_TOOLS(HaveProgram("ffprobe") && HaveCompressor(fmp4), "no MPEG-4 compressor or ffprobe");
    const std::string path = dir_.file("gop.avi");
    std::vector<TestPicture> pictures;
    for (int i = 0; i < 9; ++i)
        pictures.push_back(MakeTestPicture(64, 48, 24, i));
    ScriptedWriter writer;
    writer.answer = fmp4;
    writer.keyFrameEvery = 4;
    writer.SetRate(10);
    WriteAll(writer, path, pictures, false, 0);
    ASSERT_EQ(writer.ReleaseAll(), 1);
    std::vector<bool> keys;
    for (const ProbePacket& packet : ProbePackets(path, 0))
        keys.push_back(packet.key);
    EXPECT_EQ(keys, (std::vector<bool>{true, false, false, false, true, false, false, false, true}));
}

TEST_F(AviWriterTest, FrameOfAnotherShapeIsRefused) {
    ScriptedWriter writer;
    WriteAll(writer, dir_.file("shape.avi"), {MakeTestPicture(20, 20, 24, 0)}, false);
    CImageFile other;
    FillFrame(other, MakeTestPicture(21, 20, 24, 1), "/p/b.jpg");
    EXPECT_EQ(writer.WriteFrame(other), 0);
    FillFrame(other, MakeTestPicture(20, 20, 8, 1), "/p/c.jpg");
    EXPECT_EQ(writer.WriteFrame(other), 0);
    EXPECT_EQ(writer.FrameCount(), 3) << "the count advances whether or not the write succeeded";
    CImageFile empty;
    EXPECT_EQ(writer.WriteFrame(empty), 0);
    int remember = 1;
    EXPECT_EQ(writer.CreateStreams(other, remember, 0), 0) << "the file has its streams already";
    EXPECT_EQ(writer.ReleaseAll(), 1) << "the file itself is still whole";
}

// A file-size limit stands in for a full disk: writes fail with EFBIG instead of killing the
// process, WriteFrame answers 0, and the file is not reported complete.
TEST_F(AviWriterTest, FileSizeLimitMakesWriteFrameFail) {
    const std::string path = dir_.file("limited.avi");
    const int failures = InChild([&]() {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{256 * 1024, 256 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 50;
        SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return IDOK; });
        ScriptedWriter writer;
        writer.SetRate(5);
        if (writer.Open(path.c_str()) != 1)
            return 51;
        CImageFile frame;
        FillFrame(frame, MakeTestPicture(128, 96, 24, 0), "/p/a.jpg");  // 36 KiB per frame
        int remember = 0;
        if (writer.CreateStreams(frame, remember, 1) != 1)
            return 52;
        int written = 0;
        int failed = 0;
        for (int i = 0; i < 20; ++i)
            (writer.WriteFrame(frame) ? written : failed)++;
        int bad = 0;
        if (failed == 0 || written == 0) {
            std::fprintf(stderr, "written %d failed %d\n", written, failed);
            ++bad;
        }
        if (writer.ReleaseAll() != 0) {
            std::fprintf(stderr, "a file cut short was reported whole\n");
            ++bad;
        }
        return bad;
    });
    EXPECT_EQ(failures, 0);
}

TEST_F(AviWriterTest, ShowErrorTexts) {
    ScriptedWriter writer;
    EXPECT_EQ(writer.ShowError(0, IDS_FAILED_TO_WRITE_FILE, MB_ICONHAND, {"/x/y.avi"}), 1);
    EXPECT_EQ(writer.ShowError(EACCES, 99999, MB_ICONHAND, {"/x/y.avi"}), 1) << "no message: no box";
    EXPECT_EQ(writer.SystemText(), SystemErrorText(EACCES));
    EXPECT_EQ(writer.ShowError(987654, IDS_FAILED_TO_OPEN_FILE, MB_OK, {"a%sb"}), 1);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, "Failed to write to file /x/y.avi");
    EXPECT_EQ(boxes_[1].text, "Failed to open the file a%sb") << "an argument is never read as a format";
    EXPECT_EQ(boxes_[1].flags, MB_SYSTEMMODAL);
    EXPECT_EQ(FillMessage("%d%% of %s and %s", {"x"}), "%d% of x and ");
}
