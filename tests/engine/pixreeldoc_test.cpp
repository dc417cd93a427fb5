#include <gtest/gtest.h>

#include <string>

#include "engine/PixreelDoc.h"
#include "engine/StreamFormat.h"
#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

class PixreelDocTest : public ::testing::Test {
protected:
    // A settings file with the output in the test's folder, uncompressed frames remembered.
    std::string Ini(const std::string& extra = "") {
        return "[Config]\nOutputPath=" + dir.path().string() + "/out\nRememberCodec=1\n" + extra +
               "\n[Codec]\nfccHandler=541215044\nCodecName=Full Frames (Uncompressed)\n";
    }
    void UseIni(const std::string& extra = "") {
        SetIni(Ini(extra));
        std::filesystem::create_directories(dir.file("out"));
    }
    void SetIni(const std::string& text) {
        ini.reset();  // the old scope restores the environment before the new one sets it
        ini = std::make_unique<IniScope>(dir.file("pixreel.ini"), text);
    }
    std::string Jpeg(const std::string& name, uint32_t width, uint32_t height, uint32_t seed) {
        std::string path = dir.file(name);
        WriteJpeg(path, width, height, Pattern(seed));
        return path;
    }
    std::string Out(const std::string& name) { return dir.file("out/" + name); }

    TempDir dir;
    std::unique_ptr<IniScope> ini;
    BoxRecorder boxes;
    JobServices services;
};

}  // namespace

TEST_F(PixreelDocTest, OutputNamesFollowStyleAndExtensionRule) {
    UseIni("VideoFile=TavrinVideoFile");
    CPixreelDoc doc(services);
    doc.ReloadSettings();

    doc.SetOutputStyle(1);
    doc.BuildOutputName("photo1.jpg");
    EXPECT_EQ(doc.OutputName(), Out("TavrinVideoFile.avi"));

    doc.SetOutputStyle(0);
    for (auto [image, avi] : {std::pair{"photo1.jpg", "photo1.avi"}, {"a.bmp", "a.avi"}, {"noext", "noext.avi"},
                              {"two.dots.jpeg", "two.dots.avi"}}) {
        doc.BuildOutputName(image);
        EXPECT_EQ(doc.OutputName(), Out(avi)) << image;
    }

    // A VideoFile with an extension loses it; a hand-edited style value counts as single.
    SetIni(Ini("VideoFile=my.movie"));
    doc.ReloadSettings();
    doc.SetOutputStyle(7);
    EXPECT_EQ(doc.OutputMode(), CPixreelDoc::kOneForAll);
    doc.BuildOutputName("x.jpg");
    EXPECT_EQ(doc.OutputName(), Out("my.avi"));

    // A dot in a folder name is not an extension.
    SetIni("[Config]\nOutputPath=/data/v1.2/\nVideoFile=clip\n");
    doc.ReloadSettings();
    doc.BuildOutputName("x.jpg");
    EXPECT_EQ(doc.OutputName(), "/data/v1.2/clip.avi");

    // An absolute name is not put into the output folder.
    SetIni("[Config]\nOutputPath=/data/\nVideoFile=/home/me/out.avi\n");
    doc.ReloadSettings();
    doc.BuildOutputName("x.jpg");
    EXPECT_EQ(doc.OutputName(), "/home/me/out.avi");
}

TEST_F(PixreelDocTest, TimeStampWhenNotOverwriting) {
    // Two blanks, the month abbreviation, the day, the time: runs do not replace each other.
    // The stamp also survives a name that has an extension of its own.
    for (const char* video : {"TavrinVideoFile", "holiday.avi"}) {
        UseIni(std::string("VideoFile=") + video + "\n[Detect]\nOverwrite=0");
        CPixreelDoc doc(services);
        doc.ReloadSettings();
        doc.SetOutputStyle(1);
        doc.BuildOutputName("a.jpg");
        std::string stem = std::string(video).substr(0, std::string(video).find('.'));
        EXPECT_TRUE(IsTimeStampedName(doc.OutputName(), Out(stem))) << doc.OutputName();
    }
    // The per-image style never gets a stamp.
    CPixreelDoc doc(services);
    doc.ReloadSettings();
    doc.SetOutputStyle(0);
    doc.BuildOutputName("a.jpg");
    EXPECT_EQ(doc.OutputName(), Out("a.avi"));

    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 7;
    when.tm_min = 5;
    when.tm_sec = 9;
    when.tm_isdst = -1;
    EXPECT_EQ(OutputTimeStamp(std::mktime(&when)), "Mar 04 070509");
}

TEST_F(PixreelDocTest, SingleOutputStaysOpenAndIsWrittenInOrder) {
    UseIni("VideoFile=movie\nFramesPerSec=5");
    CImageFile a, b;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 32, 24, 1)));
    ASSERT_TRUE(b.Load(Jpeg("b.jpg", 32, 24, 2)));
    {
        CPixreelDoc doc(services);
        doc.SetOutputStyle(1);
        ASSERT_EQ(doc.OpenForImage(a), 1);
        int first = 0;
        EXPECT_EQ(doc.AddFrame(a, first), 0);
        EXPECT_EQ(first, 1);
        EXPECT_EQ(doc.AddFrame(a, first), 0);  // a second frame of the same image: no new line
        ASSERT_EQ(doc.OpenForImage(b), 1);     // the open output is kept
        first = 0;
        EXPECT_EQ(doc.AddFrame(b, first), 0);
        EXPECT_TRUE(doc.IsAviOpen());
        EXPECT_EQ(doc.CloseAvi(), 1);
        EXPECT_FALSE(doc.IsAviOpen());
    }
    EXPECT_EQ(services.Lines(), (std::vector<std::string>{"Opened AVI file " + Out("movie.avi"), "Processed a.jpg",
                                                           "Processed b.jpg"}));
    EXPECT_EQ(services.CountOf("RequestCodec"), 0);  // the remembered compressor is used
    ProbeResult probe = ProbeFile(Out("movie.avi"), true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    ASSERT_EQ(probe.streams.size(), 2u);  // video and file names
    EXPECT_EQ(probe.streams[0].nbReadFrames, 3);
    EXPECT_EQ(probe.streams[0].rFrameRate, "5/1");
    EXPECT_EQ(probe.tags["copyright"].substr(0, 9), "Copyright");
}

TEST_F(PixreelDocTest, PerImageStyleClosesTheLastOutputFirst) {
    UseIni("WriteCopyright=0\n[Detect]\nDisplayFileNames=0");
    CImageFile a, b;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 16, 16, 1)));
    ASSERT_TRUE(b.Load(Jpeg("b.jpg", 16, 16, 2)));
    CPixreelDoc doc(services);
    doc.SetOutputStyle(1);  // single first, then switched while the output is open
    ASSERT_EQ(doc.OpenForImage(a), 1);
    int first = 0;
    doc.AddFrame(a, first);
    doc.SetOutputStyle(0);
    EXPECT_TRUE(doc.IsAviOpen());
    ASSERT_EQ(doc.OpenForImage(b), 1);
    first = 0;
    doc.AddFrame(b, first);
    doc.CloseAvi();
    std::vector<std::string> lines = services.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "The AVI file has been closed");
    EXPECT_EQ(lines[3], "Opened AVI file " + Out("b.avi"));
    ProbeResult probe = ProbeFile(Out("b.avi"), true);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams.size(), 1u);      // no name stream
    EXPECT_EQ(probe.tags.count("copyright"), 0u);  // no INFO chunk
}

TEST_F(PixreelDocTest, FailuresAreReportedNotHidden) {
    UseIni();
    CImageFile a;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 16, 16, 1)));
    // An output folder that does not exist.
    SetIni("[Config]\nOutputPath=" + dir.file("missing") + "/\nVideoFile=v\n");
    CPixreelDoc doc(services);
    doc.SetOutputStyle(1);
    EXPECT_EQ(doc.OpenForImage(a), 0);
    EXPECT_FALSE(doc.IsAviOpen());
    ASSERT_EQ(services.RedLines().size(), 1u);
    EXPECT_EQ(services.RedLines()[0], "Failed to open AVI file " + dir.file("missing") + "/v.avi");
    ASSERT_EQ(boxes.Texts().size(), 1u);  // the writer's box with the system's reason
    EXPECT_NE(boxes.Texts()[0].find("Failed to open the file"), std::string::npos);

    // A cancelled codec choice leaves the file open for the caller to close.
    SetIni("[Config]\nOutputPath=" + dir.file("out") + "/\nVideoFile=v\n");
    FakeWindowServices cancelling;
    cancelling.hasMainWindow = true;
    cancelling.codecAnswer = 0;
    CPixreelDoc doc2(cancelling);
    EXPECT_EQ(doc2.OpenForImage(a), 0);
    EXPECT_TRUE(doc2.IsAviOpen());
    EXPECT_EQ(cancelling.CountOf("RequestCodec"), 1);
}

TEST_F(PixreelDocTest, AnOutputFolderTooLongForItsFieldIsNotUsed) {
    CImageFile a;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 16, 16, 1)));
    // A folder whose path with its '/' fills the 259-byte field exactly, and a sub-folder of it:
    // cut to the field, the sub-folder's path would name the parent.
    std::string parent = dir.path().string() + "/";
    parent += std::string(258 - parent.size(), 'p') + "/";
    ASSERT_EQ(parent.size(), 259u);
    std::filesystem::create_directories(parent + "sub");
    for (const int style : {0, 1}) {
        SCOPED_TRACE(style);
        SetIni("[Config]\nOutputPath=" + parent + "sub/\nVideoFile=v\n");
        CPixreelDoc doc(services);
        doc.SetOutputStyle(style);
        EXPECT_EQ(doc.OpenForImage(a), 0);
        EXPECT_FALSE(doc.IsAviOpen());
        ASSERT_FALSE(services.RedLines().empty());
        EXPECT_EQ(services.RedLines().back(),
                  "The output folder of the settings is longer than 259 bytes and is not used: " + parent + "...");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(parent), {}), 1) << "only sub/ is there";
    }
    // An absolute output name does not use the folder.
    SetIni("[Config]\nOutputPath=" + parent + "sub/\nVideoFile=" + Out("v") + "\n");
    std::filesystem::create_directories(dir.file("out"));
    CPixreelDoc doc(services);
    doc.SetOutputStyle(1);
    EXPECT_EQ(doc.OpenForImage(a), 1);
}

TEST_F(PixreelDocTest, IdenticalImagesAreDroppedOnTheirFirstFrameOnly) {
    UseIni("VideoFile=v\n[Detect]\nMotionDeviation=1");
    CImageFile a, b, c;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 16, 16, 4)));
    ASSERT_TRUE(b.Load(Jpeg("b.jpg", 16, 16, 4)));
    ASSERT_TRUE(c.Load(Jpeg("c.jpg", 16, 16, 9)));
    CPixreelDoc doc(services);
    doc.SetOutputStyle(1);
    ASSERT_EQ(doc.OpenForImage(a), 1);
    int first = 0;
    EXPECT_EQ(doc.AddFrame(a, first), 0);
    first = 0;
    EXPECT_EQ(doc.AddFrame(b, first), 2);
    EXPECT_EQ(first, 0);
    first = 1;  // later frames of an image are never compared
    EXPECT_EQ(doc.AddFrame(b, first), 0);
    first = 0;
    EXPECT_EQ(doc.AddFrame(c, first), 0);
    // Closing forgets the reference: the first image of the next output is kept.
    doc.CloseAvi();
    ASSERT_EQ(doc.OpenForImage(c), 1);
    first = 0;
    EXPECT_EQ(doc.AddFrame(c, first), 0);
    EXPECT_EQ(services.Lines().size(), 5u);
}

TEST_F(PixreelDocTest, RateBelowOneNeverReachesTheWriter) {
    UseIni("VideoFile=slow\nFramesPerSec=0");
    CImageFile a;
    ASSERT_TRUE(a.Load(Jpeg("a.jpg", 16, 16, 4)));
    {
        CPixreelDoc doc(services);
        doc.SetOutputStyle(1);
        ASSERT_EQ(doc.OpenForImage(a), 1);
        EXPECT_EQ(doc.Writer().Rate(), 1);
        int first = 0;
        EXPECT_EQ(doc.AddFrame(a, first), 0);
        first = 0;
        EXPECT_EQ(doc.AddFrame(a, first), 0);
    }
    ProbeResult probe = ProbeFile(Out("slow.avi"), true);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.streams[0].rFrameRate, "1/1");
    EXPECT_EQ(probe.streams[0].nbReadFrames, 2);
}

TEST_F(PixreelDocTest, FramesOfAnotherDepthAreConvertedToTheStreamFormat) {
    UseIni("VideoFile=mixed\n[Detect]\nDisplayFileNames=0");
    // A colour JPEG starts the stream; a gray one of the same size follows.
    CImageFile colour, gray;
    ASSERT_TRUE(colour.Load(Jpeg("colour.jpg", 8, 4, 3)));
    WriteJpeg(dir.file("gray.jpg"), 8, 4, SolidColor({0, 200, 0}), 100, true);
    ASSERT_TRUE(gray.Load(dir.file("gray.jpg")));
    ASSERT_EQ(gray.BitsPerPixel(), 8u);
    {
        CPixreelDoc doc(services);
        doc.SetOutputStyle(1);
        ASSERT_EQ(doc.OpenForImage(colour), 1);
        int first = 0;
        EXPECT_EQ(doc.AddFrame(colour, first), 0);
        first = 0;
        EXPECT_EQ(doc.AddFrame(gray, first), 0);
        EXPECT_EQ(gray.BitsPerPixel(), 24u);
    }
    std::vector<uint8_t> frame = DecodeFrame(Out("mixed.avi"), 1, 8, 4, RowOrder::BottomUpBgr);
    ASSERT_EQ(frame.size(), 8u * 4u * 3u);
    uint8_t level = gray.Image().PixelColor(0, 0).rgbGreen;
    for (uint8_t byte : frame)
        ASSERT_EQ(byte, level);
}

TEST(StreamFormat, ConversionKeepsColoursOrPicksTheNearestEntry) {
    // An 8-bit stream with a four-colour palette; a 24-bit picture of the same size.
    CPixImage first(Bmp);
    ASSERT_NE(first.Allocate(3, 2, 8, Bmp), nullptr);
    first.SetPaletteEntry(0, 0, 0, 0);
    first.SetPaletteEntry(1, 255, 0, 0);
    first.SetPaletteEntry(2, 0, 255, 0);
    first.SetPaletteEntry(3, 250, 250, 250);
    first.Header().biClrUsed = 4;
    StreamFormat format = StreamFormat::Of(first);
    ASSERT_EQ(format.palette.size(), 4u);

    CPixImage picture(Jpeg);
    ASSERT_NE(picture.Allocate(3, 2, 24, Jpeg), nullptr);
    picture.StoreColor(0, 0, RGBQUAD{0, 0, 240, 0});      // nearly red
    picture.StoreColor(1, 0, RGBQUAD{255, 255, 255, 0});  // white: nearest is entry 3
    picture.StoreColor(2, 0, RGBQUAD{0, 0, 0, 0});
    picture.StoreColor(0, 1, RGBQUAD{10, 200, 10, 0});
    picture.StoreColor(1, 1, RGBQUAD{0, 0, 240, 0});
    picture.StoreColor(2, 1, RGBQUAD{0, 0, 240, 0});
    EXPECT_FALSE(format.Matches(picture));
    ASSERT_TRUE(ConvertToFormat(picture, format));
    EXPECT_TRUE(format.Matches(picture));
    EXPECT_EQ(picture.BitsPerPixel(), 8u);
    EXPECT_EQ(picture.PixelIndex(0, 0), 1);
    EXPECT_EQ(picture.PixelIndex(1, 0), 3);
    EXPECT_EQ(picture.PixelIndex(2, 0), 0);
    EXPECT_EQ(picture.PixelIndex(0, 1), 2);
    EXPECT_EQ(picture.PixelIndex(2, 1), 1);

    // Back to a 24-bit stream: every colour is kept exactly.
    CPixImage wide(Bmp);
    ASSERT_NE(wide.Allocate(3, 2, 24, Bmp), nullptr);
    StreamFormat wideFormat = StreamFormat::Of(wide);
    ASSERT_TRUE(ConvertToFormat(picture, wideFormat));
    EXPECT_EQ(picture.BitsPerPixel(), 24u);
    EXPECT_EQ(picture.PixelColor(1, 0).rgbRed, 250);
    EXPECT_EQ(picture.PixelColor(0, 0).rgbRed, 255);

    // Another size is never converted.
    CPixImage other(Bmp);
    ASSERT_NE(other.Allocate(4, 2, 24, Bmp), nullptr);
    EXPECT_FALSE(ConvertToFormat(other, format));
    EXPECT_FALSE(format.SameSize(other));

    // A palette picture with the stream's own colours (or fewer of them) passes unchanged.
    CPixImage same(Bmp);
    ASSERT_NE(same.Allocate(3, 2, 8, Bmp), nullptr);
    same.LoadPaletteQuads(format.palette.data(), 3);
    same.Header().biClrUsed = 3;
    EXPECT_TRUE(format.Matches(same));
    same.SetPaletteEntry(2, 1, 2, 3);
    EXPECT_FALSE(format.Matches(same));
}
