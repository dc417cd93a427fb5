#include <gtest/gtest.h>

#include "image/PixImage.h"
#include "support/DecoderTesting.h"
#include "support/TempDir.h"

namespace {

struct TgaFields {
    uint8_t idLength = 0;
    uint8_t mapType = 0;
    uint8_t imageType = 2;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    uint16_t width = 2;
    uint16_t height = 2;
    uint8_t depth = 24;
    uint8_t descriptor = 0;
};

// The 18-byte header.
Bytes Header(const TgaFields& f) {
    Bytes b;
    b.u8(f.idLength)        // identification length
        .u8(f.mapType)      // colour-map type
        .u8(f.imageType)    // 1-3 uncompressed mapped/true/gray, 9-11 run-length
        .u16(f.mapFirst)    // colour-map first index
        .u16(f.mapLength)   // colour-map length
        .u8(f.mapEntryBits) // colour-map entry size
        .u16(0).u16(0)      // x and y origin
        .u16(f.width).u16(f.height)
        .u8(f.depth)        // bits per pixel
        .u8(f.descriptor);  // attribute bits, bit 4 right to left, bit 5 top to bottom
    return b;
}

}  // namespace

TEST(TgaDecoder, OriginBits) {
    // Stored pixels in file order: red, green, then blue, white.
    const std::string pixels = Bytes().u8(0).u8(0).u8(255).u8(0).u8(255).u8(0).u8(255).u8(0).u8(0).fill(3, 255).str();
    struct Case {
        uint8_t descriptor;
        RGBQUAD bottomLeft;
        RGBQUAD topRight;
    };
    const Case cases[] = {
        {0x00, Rgb(255, 0, 0), Rgb(255, 255, 255)},  // bottom-up, left to right
        {0x20, Rgb(0, 0, 255), Rgb(0, 255, 0)},      // top to bottom
        {0x10, Rgb(0, 255, 0), Rgb(0, 0, 255)},      // right to left
        {0x30, Rgb(255, 255, 255), Rgb(255, 0, 0)},  // both
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.descriptor));
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, Header(TgaFields{.descriptor = c.descriptor}).str() + pixels, Tga))
            << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_TRUE(Same(image.PixelColor(0, 0), c.bottomLeft));
        EXPECT_TRUE(Same(image.PixelColor(1, 1), c.topRight));
        EXPECT_FALSE(image.HasAlpha());
    }
}

TEST(TgaDecoder, FifteenSixteenAndThirtyTwoBits) {
    // 16 bits with one attribute bit: the top bit is the pixel's opacity.
    CPixImage image;
    std::string withAlpha = Header(TgaFields{.width = 2, .height = 1, .depth = 16, .descriptor = 1}).str() +
                            Bytes().u16(0xFFFF).u16(0x7C00).str();  // opaque white, transparent red
    ASSERT_TRUE(DecodeBytes(image, withAlpha, Tga)) << image.LastError();
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(248, 248, 248)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(248, 0, 0)));
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaValue(0, 0), 255);
    EXPECT_EQ(image.AlphaValue(1, 0), 0);

    // Without attribute bits the top bit means nothing and every pixel is opaque.
    std::string noAttribute = Header(TgaFields{.width = 2, .height = 1, .depth = 16}).str() +
                              Bytes().u16(0x7FFF).u16(0x001F).str();
    ASSERT_TRUE(DecodeBytes(image, noAttribute, Tga));
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(248, 248, 248)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(0, 0, 248)));
    EXPECT_EQ(image.AlphaValue(0, 0), 255);
    EXPECT_EQ(image.AlphaValue(1, 0), 255);

    // 15 bits carry no alpha.
    ASSERT_TRUE(DecodeBytes(image, Header(TgaFields{.width = 1, .height = 1, .depth = 15}).str() + "\xE0\x03", Tga));
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(0, 248, 0)));
    EXPECT_FALSE(image.HasAlpha());

    // 32 bits: blue, green, red, alpha.
    ASSERT_TRUE(DecodeBytes(image, Header(TgaFields{.width = 1, .height = 1, .depth = 32}).str() + "\x01\x02\x03\x40", Tga));
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(3, 2, 1)));
    EXPECT_EQ(image.AlphaValue(0, 0), 0x40);
}

TEST(TgaDecoder, RunLengthPacketsMayCrossRows) {
    // 3x2, 24 bits: a run of 4 reaches into the second row, a raw packet of 2 finishes it.
    Bytes b = Header(TgaFields{.imageType = 10, .width = 3, .height = 2});
    b.u8(0x83).u8(10).u8(20).u8(30)                    // run of 4: blue 10, green 20, red 30
        .u8(0x01).u8(1).u8(2).u8(3).u8(4).u8(5).u8(6);  // raw packet of 2
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, b, Tga)) << image.LastError();
    for (int x = 0; x < 3; ++x)
        EXPECT_TRUE(Same(image.PixelColor(x, 0), Rgb(30, 20, 10))) << x;
    EXPECT_TRUE(Same(image.PixelColor(0, 1), Rgb(30, 20, 10)));
    EXPECT_TRUE(Same(image.PixelColor(1, 1), Rgb(3, 2, 1)));
    EXPECT_TRUE(Same(image.PixelColor(2, 1), Rgb(6, 5, 4)));

    // The same data cut inside the raw packet is corrupt.
    EXPECT_FALSE(DecodeBytes(image, b.str().substr(0, b.size() - 2), Tga));
    EXPECT_STREQ(image.LastError(), "corrupted TGA");
}

TEST(TgaDecoder, ColourMapAndGray) {
    // An identification field of 3 bytes, then a map of 2 entries that starts at index 2.
    Bytes mapped = Header(TgaFields{.idLength = 3, .mapType = 1, .imageType = 1, .mapFirst = 2, .mapLength = 2,
                                    .mapEntryBits = 24, .width = 2, .height = 1, .depth = 8});
    mapped.text("abc")                       // identification
        .u8(0).u8(0).u8(255)                 // entry 2: red
        .u8(255).u8(0).u8(0)                 // entry 3: blue
        .u8(3).u8(2);                        // pixels
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, mapped, Tga)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.PixelIndex(0, 0), 3);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(0, 0, 255)));
    EXPECT_TRUE(Same(image.PixelColor(1, 0), Rgb(255, 0, 0)));

    // 16-bit map entries are 5-5-5 colours.
    Bytes map16 = Header(TgaFields{.mapType = 1, .imageType = 1, .mapLength = 1, .mapEntryBits = 16, .width = 1,
                                   .height = 1, .depth = 8});
    map16.u16(0x03E0).u8(0);
    ASSERT_TRUE(DecodeBytes(image, map16, Tga)) << image.LastError();
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(0, 248, 0)));

    ASSERT_TRUE(DecodeBytes(image, Header(TgaFields{.imageType = 3, .width = 1, .height = 1, .depth = 8}).str() + "\x80", Tga));
    EXPECT_EQ(image.PixelIndex(0, 0), 0x80);
    EXPECT_TRUE(Same(image.PixelColor(0, 0), Rgb(128, 128, 128)));
}

TEST(TgaDecoder, FailureTexts) {
    CPixImage image;
    EXPECT_FALSE(DecodeBytes(image, std::string(17, '\0'), Tga));
    EXPECT_STREQ(image.LastError(), "Not a TGA");
    EXPECT_FALSE(DecodeBytes(image, Header(TgaFields{.imageType = 4}).str() + std::string(12, '\0'), Tga));
    EXPECT_STREQ(image.LastError(), "Unknown TGA image type");
    EXPECT_FALSE(DecodeBytes(image, Header(TgaFields{}).str() + std::string(11, '\0'), Tga));
    EXPECT_STREQ(image.LastError(), "corrupted TGA");
    // A header promising a large picture over a few bytes is refused before anything is sized.
    EXPECT_FALSE(DecodeBytes(image, Header(TgaFields{.imageType = 10, .width = 65535, .height = 4000}).str() + "\xFF", Tga));
    EXPECT_STREQ(image.LastError(), "corrupted TGA");
}

TEST(TgaDecoder, MatchesImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveConvert(), "ImageMagick not installed");
    TempDir dir;
    const uint32_t width = 21, height = 11;
    WritePpm(dir.file("in.ppm"), width, height, TestPattern(width, height, 2));
    struct Case {
        const char* name;
        const char* options;
        uint32_t depth;
        int keepBits;
    };
    const Case cases[] = {
        {"raw.tga", "", 24, 8},
        {"rle.tga", "-compress RLE", 24, 8},
        {"top-left.tga", "-orient TopLeft", 24, 8},
        {"top-right.tga", "-orient TopRight -compress RLE", 24, 8},
        {"bottom-right.tga", "-orient BottomRight", 24, 8},
        {"alpha.tga", "-alpha set -channel A -fx 'i<8?1:0.5' +channel", 24, 8},
        {"alpha-rle.tga", "-alpha set -channel A -fx 'j<4?0:1' +channel -compress RLE", 24, 8},
        {"mapped.tga", "-type palette", 8, 8},
        {"mapped-rle.tga", "-type palette -compress RLE", 8, 8},
        {"gray.tga", "-type grayscale", 8, 8},
        {"gray-rle.tga", "-type grayscale -compress RLE", 8, 8},
        {"sixteen.tga", "-depth 5", 24, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " " + c.options + " " + path));
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(path.c_str(), Tga)) << image.LastError();
        EXPECT_EQ(image.BitsPerPixel(), c.depth);
        // ImageMagick keeps the stored row order and only notes the origin corner; -auto-orient
        // applies it, as our decoder does.
        EXPECT_TRUE(SamePixels(OurPixels(image, true), MagickPixels(dir, path, "rgba", "-auto-orient"), width, 4,
                               c.keepBits));
    }
}
