#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "image/PixImage.h"
#include "support/Ffprobe.h"
#include "support/ImageTestFiles.h"
#include "support/TempDir.h"

namespace {

// Rows of 8-bit samples where every channel of every pixel differs: channel c of pixel (x, y)
// is (x * 7 + y * 13 + c * 50) mod 256.
std::vector<std::vector<uint8_t>> PatternRows(uint32_t width, uint32_t height, int channels) {
    std::vector<std::vector<uint8_t>> rows(height, std::vector<uint8_t>(static_cast<size_t>(width) * channels));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                rows[y][x * channels + c] = static_cast<uint8_t>(x * 7 + y * 13 + c * 50);
    return rows;
}

uint8_t PatternValue(uint32_t x, uint32_t yFromTop, int c) {
    return static_cast<uint8_t>(x * 7 + yFromTop * 13 + c * 50);
}

PngSpec Shape(uint32_t width, uint32_t height, int bitDepth, int colorType) {
    PngSpec desc;
    desc.width = width;
    desc.height = height;
    desc.bitDepth = bitDepth;
    desc.colorType = colorType;
    return desc;
}

// Rewrites the IHDR size of a PNG and fixes the chunk's checksum, so the header is believable.
std::string WithHeaderSize(std::string png, uint32_t width, uint32_t height) {
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    put(16, width);   // signature (8), IHDR length (4), "IHDR" (4), then width
    put(20, height);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);  // type + 13 data bytes
    put(29, static_cast<uint32_t>(crc));
    return png;
}

}  // namespace

TEST(PngDecoder, RgbComesOutBlueGreenRedBottomUp) {
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
        PngSpec desc = Shape(13, 11, 8, 2);
        desc.interlaced = interlaced;
        desc.rows = PatternRows(13, 11, 3);
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
        EXPECT_EQ(image.Type(), Png);
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_EQ(image.Header().biClrUsed, 0u);
        EXPECT_FALSE(image.HasAlpha());
        EXPECT_EQ(image.Info().dpiX, 72);
        for (uint32_t top = 0; top < 11; ++top) {
            const uint8_t* row = image.Row(10 - top);
            for (uint32_t x = 0; x < 13; ++x) {
                ASSERT_EQ(row[3 * x], PatternValue(x, top, 2));
                ASSERT_EQ(row[3 * x + 1], PatternValue(x, top, 1));
                ASSERT_EQ(row[3 * x + 2], PatternValue(x, top, 0));
            }
            EXPECT_EQ(row[39], 0);  // padding of a 40-byte row
        }
    }
}

TEST(PngDecoder, AlphaGoesToAlphaPlaneWithAndWithoutInterlace) {
    // 8-bit RGBA and 16-bit gray + alpha (32 bits per pixel both) keep their alpha.
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
        PngSpec desc = Shape(9, 10, 8, 6);
        desc.interlaced = interlaced;
        desc.rows = PatternRows(9, 10, 4);
        desc.background = std::vector<uint16_t>{10, 20, 30};
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        ASSERT_TRUE(image.HasAlpha());
        for (uint32_t top = 0; top < 10; ++top) {
            const uint32_t y = 9 - top;
            for (uint32_t x = 0; x < 9; ++x) {
                RGBQUAD c = image.PixelColor(x, y);
                ASSERT_EQ(c.rgbRed, PatternValue(x, top, 0)) << x << "," << top;
                ASSERT_EQ(c.rgbGreen, PatternValue(x, top, 1));
                ASSERT_EQ(c.rgbBlue, PatternValue(x, top, 2));
                ASSERT_EQ(image.AlphaValue(x, y), PatternValue(x, top, 3));
            }
        }
        RGBQUAD background = image.Info().backgroundColor;
        EXPECT_EQ(background.rgbRed, 10);
        EXPECT_EQ(background.rgbGreen, 20);
        EXPECT_EQ(background.rgbBlue, 30);
    }

    PngSpec grayAlpha = Shape(3, 2, 16, 4);
    grayAlpha.interlaced = true;
    grayAlpha.rows = {{0x12, 0x34, 0xFF, 0xFF, 0x80, 0x01, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00},
                      {0xFF, 0xFF, 0x00, 0x00, 0x01, 0x02, 0x7F, 0xFF, 0xAB, 0xCD, 0xEF, 0x01}};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodePng(grayAlpha), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.PixelColor(0, 1).rgbGreen, 0x12);
    EXPECT_EQ(image.AlphaValue(0, 1), 0xFF);
    EXPECT_EQ(image.PixelColor(1, 1).rgbRed, 0x80);
    EXPECT_EQ(image.AlphaValue(1, 1), 0x40);
    EXPECT_EQ(image.PixelColor(2, 0).rgbBlue, 0xAB);
    EXPECT_EQ(image.AlphaValue(2, 0), 0xEF);
}

TEST(PngDecoder, TransparencyWithoutAlphaPlaneIsComposited) {
    // 8-bit gray + alpha has a 16-bit pixel: composited against light gray, no alpha plane.
    PngSpec desc = Shape(3, 1, 8, 4);
    desc.rows = {{100, 255, 100, 0, 0, 128}};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_FALSE(image.HasAlpha());
    EXPECT_EQ(image.PixelIndex(0, 0), 100);
    EXPECT_EQ(image.PixelIndex(1, 0), 192);
    EXPECT_NEAR(image.PixelIndex(2, 0), 96, 1);  // half of the way from 0 to 192

    // With a background chunk, that colour is used instead.
    desc.background = std::vector<uint16_t>{10};
    ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
    EXPECT_EQ(image.PixelIndex(1, 0), 10);
}

TEST(PngDecoder, PaletteAndTransparencyEntries) {
    PngSpec desc = Shape(4, 2, 8, 3);
    desc.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    desc.rows = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    desc.transparency = {0};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.Info().backgroundIndex, 0);
    EXPECT_FALSE(image.Info().alphaPaletteEnabled);
    EXPECT_EQ(image.PaletteEntry(0).rgbReserved, 0);
    EXPECT_EQ(image.PaletteEntry(1).rgbRed, 255);
    EXPECT_EQ(image.PixelIndex(1, 1), 1);  // top row, second pixel
    EXPECT_EQ(image.PixelIndex(0, 0), 3);

    // Several transparency values make the palette's reserved bytes opacities.
    desc.transparency = {0, 128};
    ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
    EXPECT_EQ(image.Info().backgroundIndex, -1);
    EXPECT_TRUE(image.Info().alphaPaletteEnabled);
    EXPECT_EQ(image.PaletteEntry(0).rgbReserved, 0);
    EXPECT_EQ(image.PaletteEntry(1).rgbReserved, 128);
    EXPECT_EQ(image.PaletteEntry(2).rgbReserved, 255);
    EXPECT_EQ(image.PaletteEntry(200).rgbReserved, 255);
    EXPECT_EQ(image.PixelIndex(1, 1), 1);  // indices are not replaced by the background
}

TEST(PngDecoder, TwoBitGrayBecomesFourBit) {
    // 2-bit samples 0,1,2,3,3,2,1 / 1,1,0,0,2,2,3.
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
        PngSpec desc = Shape(7, 2, 2, 0);
        desc.interlaced = interlaced;
        desc.rows = {{0b00011011, 0b11100100}, {0b01010000, 0b10101100}};
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), 4u);
        EXPECT_EQ(image.Header().biClrUsed, 16u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(image.PaletteEntry(static_cast<uint8_t>(i)).rgbGreen, 85 * i);
        const int top[7] = {0, 1, 2, 3, 3, 2, 1};
        const int bottom[7] = {1, 1, 0, 0, 2, 2, 3};
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(image.PixelIndex(x, 1), top[x]) << x;
            EXPECT_EQ(image.PixelIndex(x, 0), bottom[x]) << x;
        }
        EXPECT_EQ(image.Row(1)[3], 0x10);  // last pixel's nibble, then cleared padding
    }
}

TEST(PngDecoder, SixteenBitSamplesKeepTheirHighByte) {
    PngSpec rgb = Shape(2, 1, 16, 2);
    rgb.rows = {{0x12, 0xFF, 0x34, 0x00, 0x56, 0x80, 0xAB, 0x01, 0xCD, 0x02, 0xEF, 0x03}};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodePng(rgb), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    const uint8_t expected[6] = {0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB};
    EXPECT_EQ(std::memcmp(image.Row(0), expected, 6), 0);

    PngSpec gray = Shape(2, 1, 16, 0);
    gray.rows = {{0x7F, 0xFF, 0x80, 0x00}};
    ASSERT_TRUE(DecodeBytes(image, EncodePng(gray), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.PixelIndex(0, 0), 0x7F);
    EXPECT_EQ(image.PixelIndex(1, 0), 0x80);
    EXPECT_EQ(image.PaletteEntry(0x7F).rgbRed, 0x7F);
}

TEST(PngDecoder, OneBitGray) {
    PngSpec desc = Shape(10, 1, 1, 0);
    desc.rows = {{0b10110000, 0b01000000}};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodePng(desc), Png)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 1u);
    EXPECT_EQ(image.PaletteEntry(1).rgbRed, 255);
    EXPECT_EQ(image.PaletteEntry(0).rgbRed, 0);
    const int bits[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), bits[x]) << x;
}

TEST(PngDecoder, HostileInputFailsCleanlyAndKeepsPicture) {
    PngSpec desc = Shape(16, 16, 8, 2);
    desc.rows = PatternRows(16, 16, 3);
    const std::string good = EncodePng(desc);
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, good, Png));

    EXPECT_FALSE(DecodeBytes(image, "", Png));
    EXPECT_STREQ(image.LastError(), "Read Error");
    EXPECT_FALSE(DecodeBytes(image, good.substr(0, good.size() - 30), Png));
    EXPECT_STREQ(image.LastError(), "Read Error");
    EXPECT_FALSE(DecodeBytes(image, EncodeJpeg(4, 4, 1, std::vector<uint8_t>(16, 9)), Png));
    EXPECT_STREQ(image.LastError(), "Not a PNG file");

    EXPECT_FALSE(DecodeBytes(image, WithHeaderSize(good, 100000, 100000), Png));
    EXPECT_STREQ(image.LastError(), "Image too large: 100000 x 100000 pixels");
    // Beyond libpng's own limit of a million pixels a side.
    EXPECT_FALSE(DecodeBytes(image, WithHeaderSize(good, 3000000, 1), Png));
    EXPECT_NE(image.LastError()[0], '\0');

    // Damaged compressed data: a checksum or inflate error, never a crash.
    std::string corrupt = good;
    corrupt[60] = static_cast<char>(corrupt[60] ^ 0xFF);
    EXPECT_FALSE(DecodeBytes(image, corrupt, Png));
    EXPECT_NE(image.LastError()[0], '\0');

    // The picture decoded first is still there.
    EXPECT_EQ(image.Width(), 16u);
    EXPECT_EQ(image.PixelColor(1, 15).rgbRed, PatternValue(1, 0, 0));
}

TEST(PngDecoder, FilesFromImageMagickMatchItsPixels) {
    PIXREEL_REQUIRE_TOOLS(HaveProgram("/usr/bin/convert"), "ImageMagick missing");
    TempDir dir;
    struct Case {
        const char* name;
        const char* options;
        int tolerance;  // 16-bit samples: ImageMagick rounds to 8 bits, libpng keeps the high byte
    };
    const Case cases[] = {
        {"rgb.png", "-seed 3 -size 33x21 plasma:fractal -depth 8 -define png:color-type=2", 0},
        {"palette.png", "-seed 4 -size 30x20 plasma:fractal -colors 40 -type Palette -depth 8", 0},
        {"gray.png", "-seed 5 -size 25x17 plasma:fractal -colorspace Gray -depth 8", 0},
        {"gray2.png", "-seed 6 -size 19x7 plasma:fractal -colorspace Gray -depth 2 -define png:bit-depth=2", 0},
        {"interlaced.png", "-seed 7 -size 31x29 plasma:fractal -depth 8 -interlace PNG", 0},
        {"deep.png", "-seed 8 -size 22x14 plasma:fractal -depth 16", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int status = 0;
        RunCommand(std::string("/usr/bin/convert ") + c.options + " " + ShellQuote(dir.file(c.name)), &status);
        ASSERT_EQ(status, 0);
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(dir.file(c.name).c_str(), Png)) << image.LastError();
        RgbPicture reference =
            ReadPnm(RunCommand("/usr/bin/convert " + ShellQuote(dir.file(c.name)) + " -depth 8 ppm:-"));
        ASSERT_FALSE(reference.empty());
        EXPECT_LE(MaxChannelDifference(PictureOf(image), reference), c.tolerance);
        EXPECT_GE(MaxChannelDifference(PictureOf(image), reference), 0);
    }
}
