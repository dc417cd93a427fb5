#include <gtest/gtest.h>

#include <filesystem>

#include "image/PixImage.h"
#include "support/Ffprobe.h"
#include "support/ImageTestFiles.h"
#include "support/TempDir.h"

namespace {

const std::string kPixdump = std::string(PIXREEL_BINARY_DIR) + "/pixdump";

struct ToolRun {
    std::string out;
    int status = -1;
};

ToolRun Pixdump(const std::string& arguments) {
    ToolRun run;
    run.out = RunCommand(ShellQuote(kPixdump) + " " + arguments + " 2>/dev/null", &run.status);
    return run;
}

// A 5 x 3 RGB PNG whose pixel (x, y from the top) is (40x, 80y, 200).
std::string SmallPng() {
    PngSpec desc;
    desc.width = 5;
    desc.height = 3;
    for (uint32_t y = 0; y < 3; ++y) {
        std::vector<uint8_t> row(3 * 5);
        for (uint32_t x = 0; x < 5; ++x) {
            row[3 * x] = static_cast<uint8_t>(40 * x);
            row[3 * x + 1] = static_cast<uint8_t>(80 * y);
            row[3 * x + 2] = 200;
        }
        desc.rows.push_back(row);
    }
    return EncodePng(desc);
}

class PixdumpTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kPixdump)) << "build the pixdump target first"; }
    TempDir dir;
};

}  // namespace

TEST_F(PixdumpTest, PrintsOneLineDescribingTheDecode) {
    WriteFileBytes(dir.file("a.png"), SmallPng());
    ToolRun run = Pixdump(ShellQuote(dir.file("a.png")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "type=3 width=5 height=3 bpp=24 dpi=72,72 palette=0 background=-1 alpha=0 frames=0\n");

    std::vector<uint8_t> gray(16 * 8, 100);
    JpegOptions options;
    options.densityUnit = 2;
    options.xDensity = options.yDensity = 28;
    WriteFileBytes(dir.file("g.JPEG"), EncodeJpeg(16, 8, 1, gray, options));
    run = Pixdump(ShellQuote(dir.file("g.JPEG")));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "type=2 width=16 height=8 bpp=8 dpi=71,71 palette=256 background=-1 alpha=0 frames=0\n");

    TiffPage page;
    page.width = 2;
    page.height = 2;
    page.data = {1, 2, 3, 4};
    WriteFileBytes(dir.file("two.tif"), EncodeTiff({page, page}));
    run = Pixdump(ShellQuote(dir.file("two.tif")));
    EXPECT_EQ(run.out, "type=5 width=2 height=2 bpp=8 dpi=0,0 palette=256 background=-1 alpha=0 frames=2\n");

    PngSpec palette;
    palette.width = palette.height = 1;
    palette.colorType = 3;
    palette.palette = {1, 2, 3, 4, 5, 6};
    palette.transparency = {0};
    palette.rows = {{1}};
    WriteFileBytes(dir.file("p.png"), EncodePng(palette));
    EXPECT_EQ(Pixdump(ShellQuote(dir.file("p.png"))).out,
              "type=3 width=1 height=1 bpp=8 dpi=72,72 palette=256 background=0 alpha=0 frames=0\n");
}

TEST_F(PixdumpTest, ErrorsAndUsage) {
    // Content that does not match the extension fails with that decoder's message.
    WriteFileBytes(dir.file("fake.jpg"), SmallPng());
    ToolRun run = Pixdump(ShellQuote(dir.file("fake.jpg")));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "error: Not a JPEG file: starts with 0x89 0x50\n");

    WriteFileBytes(dir.file("notes.txt"), "hello");
    run = Pixdump(ShellQuote(dir.file("notes.txt")));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("error: unsupported file extension", 0), 0u) << run.out;

    run = Pixdump(ShellQuote(dir.file("missing.png")));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("error: cannot open", 0), 0u) << run.out;

    WriteFileBytes(dir.file("empty.tif"), "");
    run = Pixdump(ShellQuote(dir.file("empty.tif")));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "error: Error encountered while opening TIFF file\n");

    for (const char* bad : {"", "--scale 1 2", "--rotate x a.png", "--bogus a.png", "a.png b.bmp c.bmp"}) {
        SCOPED_TRACE(bad);
        int status = 0;
        std::string err = RunCommand(ShellQuote(kPixdump) + " " + bad + " 2>&1 >/dev/null", &status);
        EXPECT_EQ(status, 2);
        EXPECT_NE(err.find("usage: pixdump FILE [OUT.bmp]"), std::string::npos);
    }
}

TEST_F(PixdumpTest, WritesDecodedPictureAsBmp) {
    WriteFileBytes(dir.file("a.png"), SmallPng());
    ToolRun run = Pixdump(ShellQuote(dir.file("a.png")) + " " + ShellQuote(dir.file("out.bmp")));
    ASSERT_EQ(run.status, 0) << run.out;
    RgbPicture written = ReadBmp24(ReadFileBytes(dir.file("out.bmp")));
    ASSERT_EQ(written.width, 5u);
    ASSERT_EQ(written.height, 3u);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 5; ++x) {
            EXPECT_EQ(written.at(x, y)[0], 40 * x);
            EXPECT_EQ(written.at(x, y)[1], 80 * y);
            EXPECT_EQ(written.at(x, y)[2], 200);
        }
    }

    // A paletted picture is written with its colours expanded; ImageMagick reads the same.
    TiffPage page;
    page.width = 3;
    page.height = 2;
    page.photometric = 0;  // min-is-white
    page.data = {0, 128, 255, 255, 128, 0};
    WriteFileBytes(dir.file("w.tif"), EncodeTiff({page}));
    ASSERT_EQ(Pixdump(ShellQuote(dir.file("w.tif")) + " " + ShellQuote(dir.file("w.bmp"))).status, 0);
    written = ReadBmp24(ReadFileBytes(dir.file("w.bmp")));
    ASSERT_EQ(written.width, 3u);
    EXPECT_EQ(written.at(0, 0)[0], 255);
    EXPECT_EQ(written.at(1, 0)[1], 127);
    EXPECT_EQ(written.at(2, 0)[2], 0);
    // Without ImageMagick the comparison is left out, except in CI, which must have it.
    if (HaveProgram("/usr/bin/convert") || RunningInCi()) {
        RgbPicture reference = ReadPnm(RunCommand("/usr/bin/convert " + ShellQuote(dir.file("w.bmp")) + " ppm:-"));
        EXPECT_EQ(MaxChannelDifference(reference, written), 0);
    }
}

TEST_F(PixdumpTest, TransformsRunInFixedOrder) {
    WriteFileBytes(dir.file("a.png"), SmallPng());
    // The options name the transforms, not their order: flipping before or after the gray
    // conversion in the argument list gives the same picture, and it matches the toolkit's own
    // result of FlipVertical then MirrorHorizontal then ToGray.
    ASSERT_EQ(Pixdump(ShellQuote(dir.file("a.png")) + " " + ShellQuote(dir.file("one.bmp")) + " --gray --mirror --flip").status, 0);
    ASSERT_EQ(Pixdump("--flip --mirror " + ShellQuote(dir.file("a.png")) + " --gray " + ShellQuote(dir.file("two.bmp"))).status, 0);
    RgbPicture one = ReadBmp24(ReadFileBytes(dir.file("one.bmp")));
    RgbPicture two = ReadBmp24(ReadFileBytes(dir.file("two.bmp")));
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(MaxChannelDifference(one, two), 0);

    CPixImage image;
    ASSERT_TRUE(image.LoadFile(dir.file("a.png").c_str(), Png));
    ASSERT_TRUE(image.FlipVertical());
    ASSERT_TRUE(image.MirrorHorizontal());
    ASSERT_TRUE(image.ToGray());
    EXPECT_EQ(MaxChannelDifference(PictureOf(image), one), 0);

    // Scaling comes first: a 10 x 6 fast scale of the 5 x 3 picture, then a quarter turn.
    ASSERT_EQ(Pixdump(ShellQuote(dir.file("a.png")) + " --rotate 90 --scale 10 6 1 " + ShellQuote(dir.file("big.bmp"))).status, 0);
    RgbPicture big = ReadBmp24(ReadFileBytes(dir.file("big.bmp")));
    ASSERT_TRUE(image.LoadFile(dir.file("a.png").c_str(), Png));
    ASSERT_TRUE(image.ScaleTo(10, 6, 1));
    ASSERT_TRUE(image.RotateByAngle(90));
    EXPECT_EQ(MaxChannelDifference(PictureOf(image), big), 0);
    EXPECT_EQ(big.width, image.Width());

    ASSERT_EQ(Pixdump(ShellQuote(dir.file("a.png")) + " --light 20 150 " + ShellQuote(dir.file("light.bmp"))).status, 0);
    ASSERT_TRUE(image.LoadFile(dir.file("a.png").c_str(), Png));
    ASSERT_TRUE(image.AdjustLight(20, 150));
    EXPECT_EQ(MaxChannelDifference(PictureOf(image), ReadBmp24(ReadFileBytes(dir.file("light.bmp")))), 0);
}
