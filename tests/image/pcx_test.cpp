#include <gtest/gtest.h>

#include "image/PixImage.h"
#include "support/DecoderTesting.h"
#include "support/TempDir.h"

namespace {

struct PcxFields {
    uint8_t manufacturer = 10;
    uint8_t encoding = 1;
    uint8_t bits = 8;
    uint16_t width = 2;
    uint16_t height = 1;
    uint8_t planes = 1;
    uint16_t bytesPerLine = 2;
};

// The 128-byte header. Palette entry i of the 16-colour palette is (16 i, 255 - 16 i, i).
Bytes Header(const PcxFields& f) {
    Bytes b;
    b.u8(f.manufacturer)
        .u8(5)              // version
        .u8(f.encoding)     // 1 = run-length
        .u8(f.bits)         // bits per pixel per plane
        .u16(3).u16(7)      // xmin, ymin
        .u16(3 + f.width - 1).u16(7 + f.height - 1)  // xmax, ymax
        .u16(150).u16(300); // horizontal and vertical resolution
    for (unsigned i = 0; i < 16; ++i)
        b.u8(16 * i).u8(255 - 16 * i).u8(i);  // 16-colour palette
    b.u8(0)                 // reserved
        .u8(f.planes)
        .u16(f.bytesPerLine)
        .u16(1)             // palette type
        .fill(58, 0);       // filler
    return b;
}

}  // namespace

TEST(PcxDecoder, TwoFiftySixColoursAndTheirMarker) {
    // 2x1, 8 bits: the indices 5 and 200 (200 needs a run of one), then the palette.
    Bytes b = Header(PcxFields{});
    b.u8(5).u8(0xC1).u8(200)      // literal 5, run of 1 x 200
        .u8(12);                  // palette marker
    for (unsigned i = 0; i < 256; ++i)
        b.u8(i).u8(0).u8(255 - i);  // entry i: red i, green 0, blue 255 - i
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, b, Pcx)) << image.LastError();
    EXPECT_EQ(image.Width(), 2u);
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.Info().dpiX, 150);
    EXPECT_EQ(image.Info().dpiY, 300);
    EXPECT_EQ(image.PixelIndex(1, 0), 200);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(5, 0, 250)));

    // Any other byte where the marker belongs fails.
    std::string bad = b.str();
    bad[128 + 3] = 11;
    EXPECT_FALSE(DecodeBytes(image, bad, Pcx));
    EXPECT_STREQ(image.LastError(), "bad color map signature");
}

TEST(PcxDecoder, PlanarSixteenAndEightColours) {
    // 8x1, 4 planes of 1 bit: index bit p of pixel x is bit 7 - x of plane p.
    Bytes b = Header(PcxFields{.bits = 1, .width = 8, .planes = 4, .bytesPerLine = 1});
    b.u8(0x55)      // plane 0: 01010101
        .u8(0x33)   // plane 1: 00110011
        .u8(0x0F)   // plane 2: 00001111
        .u8(0x01);  // plane 3: 00000001
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, b, Pcx)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    const int expected[8] = {0, 1, 2, 3, 4, 5, 6, 15};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), expected[x]) << x;
    EXPECT_TRUE(Same(image.PixelColor(7, 0), Rgb(240, 15, 15)));

    // Three planes keep all eight colours.
    Bytes eight = Header(PcxFields{.bits = 1, .width = 8, .planes = 3, .bytesPerLine = 1});
    eight.u8(0x55).u8(0x33).u8(0x0F);
    ASSERT_TRUE(DecodeBytes(image, eight, Pcx)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), x) << x;
    EXPECT_TRUE(Same(image.PixelColor(6, 0), Rgb(96, 159, 6)));
}

TEST(PcxDecoder, PackedPixelsAndTrueColour) {
    // One plane of 1 bit is black and white whatever the header palette holds.
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, Header(PcxFields{.bits = 1, .width = 3, .bytesPerLine = 2}).u8(0xA0).u8(0), Pcx));
    EXPECT_EQ(image.BitsPerPixel(), 1u);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(255, 255, 255)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(0, 0, 0)));
    EXPECT_TRUE(Same(image.PixelColor(2, 0), Rgb(255, 255, 255)));

    // Four 2-bit pixels in one byte, highest pair first, with the header palette.
    ASSERT_TRUE(DecodeBytes(image, Header(PcxFields{.bits = 2, .width = 4, .bytesPerLine = 2}).u8(0x1B).u8(0), Pcx));
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), x);
    EXPECT_TRUE(Same(image.PixelColor(3, 0), Rgb(48, 207, 3)));

    // 2x2 at 3 planes of 8 bits; one run crosses from plane to plane and from line to line.
    Bytes rgb = Header(PcxFields{.width = 2, .height = 2, .planes = 3, .bytesPerLine = 2});
    rgb.u8(0xC3).u8(10)            // red 10, 10 (line 0); green 10
        .u8(20)                    // green 20
        .u8(30).u8(40)             // blue 30, 40
        .u8(0xC4).u8(7)            // line 1: red 7, 7; green 7, 7
        .u8(1).u8(2);              // blue 1, 2
    ASSERT_TRUE(DecodeBytes(image, rgb, Pcx)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_TRUE(Same(image.PixelColor(0, 1), Rgb(10, 10, 30)));  // first line is the top row
    EXPECT_TRUE(Same(image.PixelColor(1, 1), Rgb(10, 20, 40)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(7, 7, 2)));
    EXPECT_FALSE(image.HasAlpha());

    // A fourth plane is the alpha.
    Bytes rgba = Header(PcxFields{.width = 1, .planes = 4, .bytesPerLine = 1});
    rgba.u8(1).u8(2).u8(3).u8(99);
    ASSERT_TRUE(DecodeBytes(image, rgba, Pcx)) << image.LastError();
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(1, 2, 3)));
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaValue(0, 0), 99);
}

TEST(PcxDecoder, FailureTexts) {
    CPixImage image;
    const std::string header = Header(PcxFields{}).str();
    EXPECT_FALSE(DecodeBytes(image, header.substr(0, 127), Pcx));
    EXPECT_STREQ(image.LastError(), "Can't read PCX image");
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.manufacturer = 11}).str(), Pcx));
    EXPECT_STREQ(image.LastError(), "Error: Not a PCX file");
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.encoding = 0}).str(), Pcx));
    EXPECT_STREQ(image.LastError(), "PCX file has unknown encoding scheme");
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.bits = 1, .planes = 5}).str(), Pcx));
    EXPECT_STREQ(image.LastError(), "Can't handle image with more than 4 planes");
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.bits = 4, .planes = 2}).str(), Pcx));
    EXPECT_STREQ(image.LastError(), "Can't handle packed pixels with more than 1 plane.");
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.bits = 8, .planes = 2}).str(), Pcx));
    EXPECT_STREQ(image.LastError(), "Can't handle more than 1 bit per pixel");

    // A run longer than the image, and data that ends early.
    EXPECT_FALSE(DecodeBytes(image, header + "\xC3\x01", Pcx));
    EXPECT_STREQ(image.LastError(), "repeat count spans end of image");
    EXPECT_FALSE(DecodeBytes(image, header + "\x01", Pcx));
    EXPECT_STREQ(image.LastError(), "corrupted PCX");
    // A huge picture promised by a header over a few bytes is refused before anything is sized.
    EXPECT_FALSE(DecodeBytes(image, Header(PcxFields{.width = 30000, .height = 30000, .bytesPerLine = 30000}).str() + "\xC1\x00", Pcx));
    EXPECT_STREQ(image.LastError(), "corrupted PCX");
}

TEST(PcxDecoder, MatchesImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveConvert(), "ImageMagick not installed");
    TempDir dir;
    const uint32_t width = 27, height = 9;
    WritePpm(dir.file("in.ppm"), width, height, TestPattern(width, height, 4));
    struct Case {
        const char* name;
        const char* options;
        uint32_t depth;
    };
    const Case cases[] = {
        {"rgb.pcx", "", 24},
        {"rgba.pcx", "-alpha set -channel A -fx 'i<9?1:0.25' +channel", 24},
        {"palette.pcx", "-type palette -colors 200", 8},
        {"few.pcx", "-type palette -colors 5", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " " + c.options + " " + path));
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(path.c_str(), Pcx)) << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), c.depth);
        EXPECT_EQ(image.Width(), width);
        EXPECT_TRUE(SamePixels(OurPixels(image, true), MagickPixels(dir, path, "rgba"), width, 4));
    }
}
