#include <gtest/gtest.h>

#include <vector>

#include "image/PixImage.h"
#include "support/DecoderTesting.h"
#include "support/TempDir.h"

namespace {

struct Icon {
    uint8_t width;
    uint8_t height;
    uint8_t colorCount;  // directory colour count
    uint16_t bits;       // bits of the bitmap
    std::string body;    // palette, pixel rows and mask rows
};

// The bitmap header every icon image starts with; its height counts colour and mask rows.
std::string BitmapHeader(const Icon& icon) {
    Bytes b;
    b.u32(40)                   // header size
        .u32(icon.width)        // width
        .u32(2u * icon.height)  // height of pixels and mask together
        .u16(1)                 // planes
        .u16(icon.bits)         // bits per pixel
        .u32(0)                 // compression
        .fill(20, 0);           // image size, resolution, colours
    return b.str();
}

// The 6-byte directory header, one 16-byte entry per icon, then the icons' data.
std::string IconFile(const std::vector<Icon>& icons) {
    Bytes b;
    b.u16(0)               // reserved
        .u16(1)            // type: icon
        .u16(static_cast<unsigned>(icons.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * icons.size());
    std::string data;
    for (const Icon& icon : icons) {
        std::string image = BitmapHeader(icon) + icon.body;
        b.u8(icon.width).u8(icon.height)
            .u8(icon.colorCount)
            .u8(0)                              // reserved
            .u16(1)                             // planes
            .u16(icon.bits)                     // bit count
            .u32(static_cast<uint32_t>(image.size()))  // bytes in resource
            .u32(offset);                       // offset of the image
        offset += static_cast<uint32_t>(image.size());
        data += image;
    }
    return b.str() + data;
}

// 32x32, 16 colours: palette entry i is gray 16*i; pixel (x, y) has index (x + y) % 16. The mask
// marks the bottom row (the first stored) and the left column as transparent.
Icon SixteenColourIcon(bool withMask) {
    Bytes b;
    for (unsigned i = 0; i < 16; ++i)
        b.u8(16 * i).u8(16 * i).u8(16 * i).u8(0);  // blue, green, red, reserved
    for (unsigned y = 0; y < 32; ++y) {
        for (unsigned x = 0; x < 32; x += 2)
            b.u8((((x + y) % 16) << 4) | ((x + 1 + y) % 16));
    }
    for (unsigned y = 0; y < 32; ++y) {
        if (!withMask)
            b.u32(0);
        else if (y == 0)
            b.u32(0xFFFFFFFF);
        else
            b.u8(0x80).fill(3, 0);
    }
    return Icon{32, 32, 16, 4, b.str()};
}

// 2x1, 32 bits: pixel bytes blue, green, red, alpha, then a mask row of 4 bytes.
Icon TrueColourIcon(uint8_t maskBits) {
    Bytes b;
    b.u8(1).u8(2).u8(3).u8(200)   // left pixel: red 3, green 2, blue 1, alpha 200
        .u8(4).u8(5).u8(6).u8(255)
        .u8(maskBits).fill(3, 0); // mask row
    return Icon{2, 1, 0, 32, b.str()};
}

}  // namespace

TEST(IcoDecoder, SixteenColourIconWithMask) {
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, IconFile({SixteenColourIcon(true)}), Ico)) << image.LastError();
    EXPECT_EQ(image.Type(), Ico);
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    EXPECT_EQ(image.Width(), 32u);
    EXPECT_EQ(image.Height(), 32u);
    EXPECT_EQ(image.Info().frameCount, 1);
    EXPECT_EQ(image.PixelIndex(5, 3), 8);
    EXPECT_EQ(image.PixelColor(5, 3).rgbRed, 128);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaValue(7, 0), 0);    // bottom row masked
    EXPECT_EQ(image.AlphaValue(0, 20), 0);   // left column masked
    EXPECT_EQ(image.AlphaValue(1, 20), 255);
    EXPECT_EQ(image.AlphaValue(31, 31), 255);

    // A mask with no bit set leaves the icon without an alpha plane.
    CPixImage opaque;
    ASSERT_TRUE(DecodeBytes(opaque, IconFile({SixteenColourIcon(false)}), Ico));
    EXPECT_FALSE(opaque.HasAlpha());
    EXPECT_EQ(opaque.PixelIndex(5, 3), 8);
}

TEST(IcoDecoder, TrueColourAlphaAndMask) {
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, IconFile({TrueColourIcon(0x00)}), Ico)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 3);
    EXPECT_EQ(image.PixelColor(0, 0).rgbBlue, 1);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.AlphaValue(0, 0), 200);
    EXPECT_EQ(image.AlphaValue(1, 0), 255);

    // The mask makes a pixel transparent whatever its alpha byte says.
    ASSERT_TRUE(DecodeBytes(image, IconFile({TrueColourIcon(0x40)}), Ico));
    EXPECT_EQ(image.AlphaValue(0, 0), 200);
    EXPECT_EQ(image.AlphaValue(1, 0), 0);
}

TEST(IcoDecoder, FrameChoiceCountAndSilentFailures) {
    const std::string file = IconFile({TrueColourIcon(0), SixteenColourIcon(false)});
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, file, Ico));
    EXPECT_EQ(image.Width(), 2u);
    EXPECT_EQ(image.Info().frameCount, 2);

    CPixImage second;
    second.Info().frame = 1;
    ASSERT_TRUE(DecodeBytes(second, file, Ico));
    EXPECT_EQ(second.Width(), 32u);
    EXPECT_EQ(second.Info().frame, 1);

    // A frame past the end fails without a message, but reports how many icons there are.
    CPixImage missing;
    missing.Info().frame = 2;
    missing.SetLastError("old text");
    EXPECT_FALSE(DecodeBytes(missing, file, Ico));
    EXPECT_STREQ(missing.LastError(), "");
    EXPECT_EQ(missing.Info().frameCount, 2);

    // Not an icon directory (type 2 is a cursor file).
    Bytes cursor;
    cursor.u16(0).u16(2).u16(1).fill(16, 0);
    EXPECT_FALSE(DecodeBytes(image, cursor, Ico));
    EXPECT_STREQ(image.LastError(), "");
    EXPECT_EQ(image.Width(), 2u);  // the previous picture stays

    // Pixel data cut short fails; a mask cut short only leaves the rest opaque.
    second.Info().frame = 1;
    EXPECT_FALSE(DecodeBytes(second, file.substr(0, file.size() - 200), Ico));
    EXPECT_STREQ(second.LastError(), "corrupted ICO");
    EXPECT_TRUE(DecodeBytes(second, file.substr(0, file.size() - 40), Ico));
}

TEST(IcoDecoder, BitmapHeaderDepthWinsOverAZeroColourCount) {
    // Some writers leave the directory's colour count 0 for 16-colour icons; the bitmap header
    // still says 4 bits, and the data is laid out that way.
    Icon icon = SixteenColourIcon(false);
    icon.colorCount = 0;
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, IconFile({icon}), Ico));
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    EXPECT_EQ(image.PixelIndex(5, 3), 8);
}

TEST(IcoDecoder, MatchesImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveConvert(), "ImageMagick not installed");
    TempDir dir;
    WritePpm(dir.file("in.ppm"), 32, 32, TestPattern(32, 32, 3));
    const std::string trueColour = dir.file("true.ico");
    const std::string sixteen = dir.file("sixteen.ico");
    const std::string sizes = dir.file("sizes.ico");
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " " + trueColour));
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " -colors 16 " + sixteen));
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " -define icon:auto-resize=16,24,32 " + sizes));
    // The same with the right half transparent, which ImageMagick also writes into the mask.
    const std::string clear = " -alpha set -channel A -fx 'i<16?1:0' +channel ";
    const std::string trueClear = dir.file("true-clear.ico");
    const std::string sixteenClear = dir.file("sixteen-clear.ico");
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + clear + trueClear));
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + clear + "-colors 16 " + sixteenClear));

    for (const std::string& path : {trueColour, sixteen, trueClear, sixteenClear}) {
        SCOPED_TRACE(path);
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(path.c_str(), Ico)) << image.LastError();
        EXPECT_EQ(image.Width(), 32u);
        EXPECT_TRUE(SamePixels(OurPixels(image, true), MagickPixels(dir, path, "rgba"), 32, 4));
    }
    // Icons of 256 pixels are stored as PNG data inside the icon file.
    const std::string large = dir.file("large.ico");
    ASSERT_TRUE(RunConvert(dir.file("in.ppm") + " -resize 256x256! " + large));
    CPixImage png;
    ASSERT_TRUE(png.LoadFile(large.c_str(), Ico)) << png.LastError();
    EXPECT_EQ(png.Type(), Ico);
    EXPECT_EQ(png.Width(), 256u);
    EXPECT_TRUE(SamePixels(OurPixels(png, false), MagickPixels(dir, large, "rgb"), 256, 3));

    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        CPixImage image;
        image.Info().frame = frame;
        ASSERT_TRUE(image.LoadFile(sizes.c_str(), Ico)) << image.LastError();
        EXPECT_EQ(image.Info().frameCount, 3);
        EXPECT_TRUE(SamePixels(OurPixels(image, true),
                               MagickPixels(dir, sizes + "[" + std::to_string(frame) + "]", "rgba"), image.Width(), 4));
    }
}
