#include <gtest/gtest.h>

#include "image/PixImage.h"
#include "support/DecoderTesting.h"
#include "support/TempDir.h"

namespace {

struct InfoFields {
    int32_t width = 2;
    int32_t height = 2;
    uint16_t bits = 24;
    uint32_t compression = 0;
    int32_t pelsPerMeter = 2835;
    uint32_t colorsUsed = 0;
};

// The 40-byte information header.
void AppendInfoHeader(Bytes& b, const InfoFields& f) {
    b.u32(40)                  // header size
        .u32(static_cast<uint32_t>(f.width))
        .u32(static_cast<uint32_t>(f.height))  // negative: top-down rows
        .u16(1)                // planes
        .u16(f.bits)           // bits per pixel
        .u32(f.compression)    // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
        .u32(0)                // image size, 0 = computed
        .u32(static_cast<uint32_t>(f.pelsPerMeter))  // horizontal pixels per metre
        .u32(static_cast<uint32_t>(f.pelsPerMeter))  // vertical pixels per metre
        .u32(f.colorsUsed)     // palette entries, 0 = all the depth allows
        .u32(0);               // important colours
}

// The 14-byte file header in front of a DIB whose pixels start at `dataOffset`.
Bytes FileHeader(uint32_t fileSize, uint32_t dataOffset) {
    Bytes b;
    b.text("BM")        // signature
        .u32(fileSize)  // file size
        .u16(0)         // reserved
        .u16(0)         // reserved
        .u32(dataOffset);
    return b;
}

// A 2x2 24-bit DIB: bottom row blue, red; top row green, white (rows padded to 8 bytes).
Bytes TwoByTwoDib(int32_t height = 2) {
    Bytes b;
    AppendInfoHeader(b, InfoFields{.height = height});
    b.u8(255).u8(0).u8(0).u8(0).u8(0).u8(255).fill(2, 0)        // first stored row: blue, red
        .u8(0).u8(255).u8(0).u8(255).u8(255).u8(255).fill(2, 0);  // second stored row: green, white
    return b;
}

}  // namespace

TEST(BmpDecoder, FileHeaderOrPackedDibAndRowOrder) {
    const Bytes dib = TwoByTwoDib();
    const std::string file = FileHeader(static_cast<uint32_t>(14 + dib.size()), 54).str() + dib.str();
    for (const std::string& bytes : {file, dib.str()}) {
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, bytes, Bmp)) << image.LastError();
        EXPECT_EQ(image.Type(), Bmp);
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(0, 0, 255)));
        EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(255, 0, 0)));
        EXPECT_TRUE(Same(image.PixelColor(0, 1), Rgb(0, 255, 0)));
        EXPECT_EQ(image.Info().dpiX, 72);
        EXPECT_EQ(image.Header().biXPelsPerMeter, 2835);
    }

    // Negative height: the first stored row is the top one, so it ends up as row 1.
    CPixImage topDown;
    ASSERT_TRUE(DecodeBytes(topDown, TwoByTwoDib(-2), Bmp)) << topDown.LastError();
    EXPECT_EQ(topDown.Height(), 2u);
    EXPECT_TRUE(Same(topDown.PixelColor(0, 1), Rgb(0, 0, 255)));
    EXPECT_TRUE(Same(topDown.PixelColor(0, 0), Rgb(0, 255, 0)));
}

TEST(BmpDecoder, Resolution) {
    Bytes b;
    AppendInfoHeader(b, InfoFields{.width = 1, .height = 1, .pelsPerMeter = 3780});
    b.fill(4, 0);
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, b, Bmp)) << image.LastError();
    EXPECT_EQ(image.Info().dpiX, 96);
    EXPECT_EQ(image.Info().dpiY, 96);
    EXPECT_EQ(image.Header().biYPelsPerMeter, 3780);  // kept as read
}

TEST(BmpDecoder, PalettesCoreHeaderAndShortColourTables) {
    // Core header, 1 bit: 3-byte palette entries, 3x1 pixels 1, 0, 1.
    Bytes core;
    core.u32(12).u16(3).u16(1).u16(1).u16(1)  // size, width, height, planes, bits
        .u8(0).u8(0).u8(255)                  // entry 0: red (blue, green, red)
        .u8(255).u8(255).u8(255)              // entry 1: white
        .u8(0xA0).fill(3, 0);                 // row: bits 101
    CPixImage one;
    ASSERT_TRUE(DecodeBytes(one, core, Bmp)) << one.LastError();
    EXPECT_EQ(one.BitsPerPixel(), 1u);
    EXPECT_TRUE(Same(one.PixelColor(0, 0), Rgb(255, 255, 255)));
    EXPECT_TRUE(Same(one.PixelColor(1, 0), Rgb(255, 0, 0)));

    // A packed 4-bit DIB that stores only 2 palette entries: the pixels follow right after them.
    Bytes four;
    AppendInfoHeader(four, InfoFields{.width = 3, .height = 1, .bits = 4, .colorsUsed = 2});
    four.u32(0x00102030)                      // entry 0 (blue 0x30, green 0x20, red 0x10)
        .u32(0x00C0B0A0)                      // entry 1
        .u8(0x10).u8(0x10).fill(2, 0);        // pixels 1, 0, 1
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, four, Bmp)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    EXPECT_EQ(image.Header().biClrUsed, 16u);
    EXPECT_EQ(image.PixelIndex(0, 0), 1);
    EXPECT_EQ(image.PixelIndex(1, 0), 0);
    EXPECT_EQ(image.PixelIndex(2, 0), 1);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(0xC0, 0xB0, 0xA0)));
}

TEST(BmpDecoder, SixteenAndThirtyTwoBits) {
    // 5-5-5 without masks: 0x7FFF is white at the top of each 5-bit channel.
    Bytes plain;
    AppendInfoHeader(plain, InfoFields{.width = 2, .height = 1, .bits = 16});
    plain.u16(0x7FFF).u16(0x7C00);  // white, pure red
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, plain, Bmp)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(248, 248, 248)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(248, 0, 0)));

    // 5-6-5 bit fields; the masks follow the 40-byte header.
    Bytes masked;
    AppendInfoHeader(masked, InfoFields{.width = 2, .height = 1, .bits = 16, .compression = 3});
    masked.u32(0xF800).u32(0x07E0).u32(0x001F)  // red, green, blue masks
        .u16(0xFFFF).u16(0x07E0);               // white, pure green
    ASSERT_TRUE(DecodeBytes(image, masked, Bmp)) << image.LastError();
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(248, 252, 248)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(0, 252, 0)));

    // 32 bits: blue, green, red and an unused byte.
    Bytes wide;
    AppendInfoHeader(wide, InfoFields{.width = 1, .height = 1, .bits = 32});
    wide.u8(10).u8(20).u8(30).u8(40);
    ASSERT_TRUE(DecodeBytes(image, wide, Bmp)) << image.LastError();
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(30, 20, 10)));
    EXPECT_FALSE(image.HasAlpha());
}

TEST(BmpDecoder, RunLengthEightAndFour) {
    // 4x3 RLE8: a run, end of line, a delta that skips two pixels and a row, an odd absolute run.
    Bytes rle8;
    AppendInfoHeader(rle8, InfoFields{.width = 4, .height = 3, .bits = 8, .compression = 1, .colorsUsed = 8});
    rle8.fill(8 * 4, 0)             // palette
        .u8(3).u8(5)                // three pixels of 5
        .u8(0).u8(0)                // end of line
        .u8(0).u8(2).u8(2).u8(1)    // delta: right 2, up 1 -> row 2, column 2
        .u8(0).u8(3).u8(7).u8(6).u8(9).u8(0)  // absolute run of 3 (9 falls outside), padding
        .u8(0).u8(1);               // end of bitmap
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, rle8, Bmp)) << image.LastError();
    EXPECT_EQ(image.PixelIndex(0, 0), 5);
    EXPECT_EQ(image.PixelIndex(2, 0), 5);
    EXPECT_EQ(image.PixelIndex(3, 0), 0);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(image.PixelIndex(x, 1), 0) << "row skipped by the delta stays clear";
    EXPECT_EQ(image.PixelIndex(0, 2), 0);
    EXPECT_EQ(image.PixelIndex(1, 2), 0);
    EXPECT_EQ(image.PixelIndex(2, 2), 7);
    EXPECT_EQ(image.PixelIndex(3, 2), 6);

    // 7x1 RLE4: an encoded run of 3 alternating nibbles, an absolute run of 3 pixels in two
    // bytes, then one of 1 pixel in one byte and a padding byte.
    Bytes rle4;
    AppendInfoHeader(rle4, InfoFields{.width = 7, .height = 1, .bits = 4, .compression = 2});
    rle4.fill(16 * 4, 0)                    // palette
        .u8(3).u8(0x12)                     // pixels 1, 2, 1
        .u8(0).u8(3).u8(0xAB).u8(0xC0)      // absolute: pixels A, B, C
        .u8(1).u8(0xD0)                     // encoded run of one pixel D
        .u8(0).u8(1);
    ASSERT_TRUE(DecodeBytes(image, rle4, Bmp)) << image.LastError();
    const int expected[7] = {1, 2, 1, 0xA, 0xB, 0xC, 0xD};
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), expected[x]) << "x " << x;

    // Data that stops inside a code is corrupt; data that stops between codes ends the picture.
    std::string cut = rle8.str().substr(0, rle8.size() - 6);
    EXPECT_FALSE(DecodeBytes(image, cut, Bmp));
    EXPECT_STREQ(image.LastError(), "corrupted BMP");
    EXPECT_TRUE(DecodeBytes(image, rle8.str().substr(0, rle8.size() - 2), Bmp));
}

TEST(BmpDecoder, FailureTexts) {
    CPixImage image;
    EXPECT_FALSE(DecodeBytes(image, "BM12", Bmp));
    EXPECT_STREQ(image.LastError(), "Not a BMP");

    EXPECT_FALSE(DecodeBytes(image, FileHeader(100, 54).str() + std::string("\x28\0\0", 3), Bmp));
    EXPECT_STREQ(image.LastError(), "Error reading BMP info");

    Bytes jpeg;
    AppendInfoHeader(jpeg, InfoFields{.bits = 8, .compression = 4});
    EXPECT_FALSE(DecodeBytes(image, jpeg, Bmp));
    EXPECT_STREQ(image.LastError(), "compression type not supported");

    Bytes rle24;
    AppendInfoHeader(rle24, InfoFields{.bits = 24, .compression = 1});
    EXPECT_FALSE(DecodeBytes(image, rle24, Bmp));
    EXPECT_STREQ(image.LastError(), "unknown compression");

    // Pixel data cut short, and a header that promises more than the file holds.
    const std::string dib = TwoByTwoDib();
    EXPECT_FALSE(DecodeBytes(image, dib.substr(0, dib.size() - 1), Bmp));
    EXPECT_STREQ(image.LastError(), "corrupted BMP");
    Bytes huge;
    AppendInfoHeader(huge, InfoFields{.width = 30000, .height = 30000});
    EXPECT_FALSE(DecodeBytes(image, huge, Bmp));
    EXPECT_STRNE(image.LastError(), "");

    // Run-length data can leave a picture unreached, but not one a thousand times its size.
    Bytes sparse;
    AppendInfoHeader(sparse, InfoFields{.width = 20000, .height = 20000, .bits = 8, .compression = 1, .colorsUsed = 1});
    sparse.u32(0).u8(0).u8(1);  // one palette entry, end of bitmap
    EXPECT_FALSE(DecodeBytes(image, sparse, Bmp));
    EXPECT_STREQ(image.LastError(), "corrupted BMP");

    // The image that asked keeps its previous picture.
    ASSERT_TRUE(DecodeBytes(image, dib, Bmp));
    EXPECT_FALSE(DecodeBytes(image, "BM", Bmp));
    EXPECT_EQ(image.Width(), 2u);
}

// ImageMagick writes the files; our decode must give exactly the pixels it reads back.
TEST(BmpDecoder, MatchesImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveConvert(), "ImageMagick not installed");
    TempDir dir;
    const uint32_t width = 23, height = 13;
    WritePpm(dir.file("in.ppm"), width, height, TestPattern(width, height));
    struct Case {
        const char* name;
        const char* options;  // convert options, ending with the output format prefix
        uint32_t depth;
        int keepBits;
    };
    const Case cases[] = {
        {"v3-24.bmp", "BMP3:", 24, 8},
        {"v5-24.bmp", "BMP:", 24, 8},
        {"pal8.bmp", "-colors 200 BMP3:", 8, 8},
        {"pal4.bmp", "-colors 16 BMP3:", 4, 8},
        {"mono.bmp", "-monochrome BMP3:", 1, 8},
        {"rle8.bmp", "-colors 200 -compress RLE BMP3:", 8, 8},
        {"rle8v5.bmp", "-colors 100 -compress RLE BMP:", 8, 8},
        {"rgb555.bmp", "-define bmp:subtype=RGB555 BMP:", 24, 5},
        {"rgb565.bmp", "-define bmp:subtype=RGB565 BMP:", 24, 5},
        {"argb32.bmp", "-alpha set -define bmp:subtype=ARGB8888 BMP:", 24, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " " + c.options + path));
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(path.c_str(), Bmp)) << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), c.depth);
        EXPECT_EQ(image.Width(), width);
        EXPECT_EQ(image.Height(), height);
        EXPECT_TRUE(SamePixels(OurPixels(image, false), MagickPixels(dir, path, "rgb"), width, 3, c.keepBits));
    }
}
