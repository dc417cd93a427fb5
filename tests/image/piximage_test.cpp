#include <gtest/gtest.h>

#include <cstring>

#include "image/ImageStream.h"
#include "image/PixImage.h"

namespace {

RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b, uint8_t reserved = 0) {
    return RGBQUAD{b, g, r, reserved};
}

bool SameColor(RGBQUAD a, RGBQUAD b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

}  // namespace

TEST(PixImage, DefaultStateAndVersion) {
    CPixImage image(Png);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.Type(), Png);
    EXPECT_EQ(image.Header().biSize, 40u);
    EXPECT_EQ(image.Info().quality, 75);
    EXPECT_EQ(image.Info().alphaMax, 255);
    EXPECT_EQ(image.Info().backgroundIndex, -1);
    EXPECT_TRUE(image.Info().enabled);
    EXPECT_EQ(image.Info().dpiX, 72);
    EXPECT_EQ(image.Header().biXPelsPerMeter, 2835);
    EXPECT_EQ(image.Header().biYPelsPerMeter, 2835);
    EXPECT_EQ(image.PixelBits(), nullptr);
    EXPECT_STREQ(CPixImage::VersionText(), "PixImage 5.10");
}

TEST(PixImage, AllocateSizesAndDepths) {
    CPixImage image;
    ASSERT_NE(image.Allocate(1, 1, 24, Bmp), nullptr);
    EXPECT_EQ(image.EffectiveWidth(), 4u);
    EXPECT_EQ(image.DibSize(), 44u);
    EXPECT_EQ(image.Header().biClrUsed, 0u);
    EXPECT_EQ(image.PaletteEntries(), nullptr);

    ASSERT_NE(image.Allocate(1, 1, 1, Bmp), nullptr);
    EXPECT_EQ(image.DibSize(), 40u + 8u + 4u);
    EXPECT_EQ(image.Header().biClrUsed, 2u);

    image.Allocate(3, 2, 8, Bmp);
    EXPECT_EQ(image.EffectiveWidth(), 4u);
    EXPECT_EQ(image.Header().biSizeImage, 8u);
    image.Allocate(9, 1, 4, Bmp);
    EXPECT_EQ(image.EffectiveWidth(), 8u);

    image.Allocate(2, 2, 32, Jpeg);
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.Type(), Jpeg);
    image.Allocate(2, 2, 0, Bmp);
    EXPECT_EQ(image.BitsPerPixel(), 1u);

    // The block starts with its own copy of the header and an all-zero palette.
    image.Allocate(5, 3, 8, Gif);
    BITMAPINFOHEADER copy;
    std::memcpy(&copy, image.Block(), 40);
    EXPECT_EQ(copy.biWidth, 5);
    EXPECT_EQ(copy.biHeight, 3);
    EXPECT_EQ(copy.biClrUsed, 256u);
    EXPECT_EQ(image.PixelBits(), image.Block() + 40 + 1024);
    for (uint32_t i = 0; i < 256; ++i)
        EXPECT_TRUE(SameColor(image.PaletteEntry(static_cast<uint8_t>(i)), Quad(0, 0, 0)));
}

TEST(PixImage, RefusesOversizedBlocks) {
    CPixImage image;
    EXPECT_EQ(image.Allocate(100000, 100000, 24, Bmp), nullptr);
    EXPECT_FALSE(image.IsValid());
    EXPECT_FALSE(image.CheckDimensions(100000, 100000, 24));
    EXPECT_NE(std::strstr(image.LastError(), "too large"), nullptr);
    EXPECT_FALSE(image.CheckDimensions(0, 10, 8));
    EXPECT_TRUE(image.CheckDimensions(4000, 3000, 24));
}

TEST(PixImage, PaletteHelpers) {
    CPixImage image;
    image.Allocate(4, 1, 8, Bmp);
    image.MakeGrayPalette();
    EXPECT_EQ(image.PaletteEntry(255).rgbRed, 255);
    EXPECT_EQ(image.PaletteEntry(17).rgbGreen, 17);

    image.Allocate(4, 1, 4, Bmp);
    image.MakeGrayPalette();
    EXPECT_EQ(image.PaletteEntry(1).rgbBlue, 17);
    EXPECT_EQ(image.PaletteEntry(15).rgbBlue, 255);
    EXPECT_TRUE(SameColor(image.PaletteEntry(16), Quad(0, 0, 0)));  // beyond biClrUsed

    image.Allocate(4, 1, 1, Bmp);
    image.MakeGrayPalette();
    EXPECT_EQ(image.PaletteEntry(0).rgbRed, 0);
    EXPECT_EQ(image.PaletteEntry(1).rgbRed, 255);

    image.Allocate(4, 1, 4, Bmp);
    const uint8_t red[3] = {10, 20, 30};
    const uint8_t green[3] = {40, 50, 60};
    image.LoadPaletteChannels(3, red, green, nullptr);  // blue falls back to green
    EXPECT_TRUE(SameColor(image.PaletteEntry(2), Quad(30, 60, 60)));
    image.LoadPaletteChannels(3, red, nullptr, nullptr);
    EXPECT_TRUE(SameColor(image.PaletteEntry(1), Quad(20, 20, 20)));

    const uint8_t triples[6] = {1, 2, 3, 4, 5, 6};
    image.LoadPaletteTriples(triples, 2);
    EXPECT_TRUE(SameColor(image.PaletteEntry(1), Quad(4, 5, 6)));

    image.SetPaletteEntry(20, 9, 9, 9);  // outside a 16-entry palette: ignored
    image.SetPaletteEntry(3, 7, 8, 9, 10);
    EXPECT_TRUE(SameColor(image.PaletteEntry(3), Quad(7, 8, 9, 10)));
}

TEST(PixImage, NearestPaletteIndexPrefersFirstMatch) {
    CPixImage image;
    image.Allocate(2, 1, 8, Bmp);
    image.SetPaletteEntry(5, 100, 100, 100);
    image.SetPaletteEntry(9, 100, 100, 100);
    // Entry 0 is black; everything else zero too except the two duplicates.
    image.StoreColor(1, 0, Quad(100, 100, 100));
    EXPECT_EQ(image.PixelIndex(1, 0), 5);
    // Nearest (not exact): 101 is closer to 100 than to 0.
    EXPECT_EQ(image.NearestPaletteIndex(Quad(101, 99, 100)), 5);
    EXPECT_EQ(image.NearestPaletteIndex(Quad(10, 0, 0)), 0);
    image.StoreColor(0, 0, RGB(100, 100, 100));
    EXPECT_EQ(image.PixelIndex(0, 0), 5);
}

TEST(PixImage, IndexPackingAtOneAndFourBits) {
    CPixImage image;
    image.Allocate(9, 2, 4, Bmp);
    std::memset(image.PixelBits(), 0, image.Header().biSizeImage);
    image.StoreIndex(0, 1, 0xA);
    image.StoreIndex(1, 1, 0x35);  // only the low nibble is written
    EXPECT_EQ(image.Row(1)[0], 0xA5);
    EXPECT_EQ(image.PixelIndex(0, 1), 0xA);
    EXPECT_EQ(image.PixelIndex(1, 1), 0x5);
    image.StoreIndex(8, 0, 0xF);
    EXPECT_EQ(image.Row(0)[4], 0xF0);

    image.Allocate(10, 1, 1, Bmp);
    std::memset(image.PixelBits(), 0, image.Header().biSizeImage);
    image.StoreIndex(0, 0, 1);
    image.StoreIndex(9, 0, 3);  // low bit only
    EXPECT_EQ(image.Row(0)[0], 0x80);
    EXPECT_EQ(image.Row(0)[1], 0x40);
    EXPECT_EQ(image.PixelIndex(9, 0), 1);
    image.StoreIndex(0, 0, 0);
    EXPECT_EQ(image.Row(0)[0], 0x00);
}

TEST(PixImage, OutOfRangeReadsAndWrites) {
    CPixImage image;
    image.Allocate(2, 2, 24, Bmp);
    std::memset(image.PixelBits(), 0x11, image.Header().biSizeImage);
    EXPECT_TRUE(SameColor(image.PixelColor(-1, 0), Quad(0, 0, 0)));
    image.Info().backgroundColor = Quad(1, 2, 3, 4);
    EXPECT_TRUE(SameColor(image.PixelColor(2, 0), Quad(1, 2, 3, 4)));
    // In range at 24 bits: the reserved byte comes from backgroundColor.
    EXPECT_TRUE(SameColor(image.PixelColor(0, 0), Quad(0x11, 0x11, 0x11, 4)));
    EXPECT_EQ(image.PixelIndex(0, 0), 0);
    image.StoreColor(5, 5, Quad(9, 9, 9));  // ignored
    image.StoreIndex(0, 0, 3);              // no palette: ignored
    EXPECT_EQ(image.PixelBits()[0], 0x11);

    CPixImage paletted;
    paletted.Allocate(2, 2, 8, Bmp);
    paletted.SetPaletteEntry(7, 50, 60, 70, 80);
    EXPECT_EQ(paletted.PixelIndex(-1, -1), 0);
    paletted.Info().backgroundIndex = 7;
    EXPECT_EQ(paletted.PixelIndex(3, 0), 7);
    EXPECT_TRUE(SameColor(paletted.PixelColor(3, 0), Quad(50, 60, 70, 80)));
    EXPECT_TRUE(SameColor(paletted.TransparentColor(), Quad(50, 60, 70, 80)));
    paletted.StoreIndex(0, 0, 7);
    EXPECT_TRUE(SameColor(paletted.PixelColor(0, 0), Quad(50, 60, 70, 80)));
    // A caller that empties the palette gets black, not bytes read past the index rows.
    paletted.Header().biClrUsed = 0;
    EXPECT_TRUE(SameColor(paletted.PixelColor(1, 1), Quad(0, 0, 0)));
}

TEST(PixImage, CopyAndTakeOver) {
    CPixImage source(Gif);
    source.Allocate(3, 2, 8, Gif);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            source.StoreIndex(x, y, static_cast<uint8_t>(10 * y + x));
    source.SetPaletteEntry(11, 1, 2, 3);
    source.AlphaAllocate();
    source.StoreAlpha(2, 1, 200);
    source.Info().frameCount = 4;
    source.SetHorizontalDpi(300);

    CPixImage copy(source, true, true, true);
    EXPECT_EQ(copy.PixelIndex(1, 1), 11);
    EXPECT_TRUE(SameColor(copy.PixelColor(1, 1), Quad(1, 2, 3)));
    EXPECT_EQ(copy.AlphaValue(2, 1), 200);
    EXPECT_EQ(copy.Info().frameCount, 4);
    EXPECT_EQ(copy.Info().dpiX, 300);
    EXPECT_EQ(copy.Header().biXPelsPerMeter, 11811);  // the header follows the copied resolution
    EXPECT_NE(copy.PixelBits(), source.PixelBits());

    CPixImage paletteOnly(source, false, false, false);
    EXPECT_TRUE(SameColor(paletteOnly.PaletteEntry(11), Quad(1, 2, 3)));
    EXPECT_FALSE(paletteOnly.HasAlpha());

    CPixImage target;
    target.Allocate(1, 1, 24, Bmp);
    target.TakeOver(source);
    EXPECT_EQ(target.Width(), 3u);
    EXPECT_EQ(target.PixelIndex(2, 1), 12);
    EXPECT_EQ(target.AlphaValue(2, 1), 200);
    EXPECT_EQ(source.PixelBits(), nullptr);
    EXPECT_EQ(source.Width(), 0u);
    EXPECT_EQ(source.Height(), 0u);
    EXPECT_FALSE(source.HasAlpha());

    // CopyInfoFrom only fills an empty image.
    CPixImage info;
    info.CopyInfoFrom(target);
    EXPECT_EQ(info.Info().frameCount, 4);
    target.Info().frameCount = 9;
    info.Allocate(1, 1, 8, Bmp);
    info.CopyInfoFrom(target);
    EXPECT_EQ(info.Info().frameCount, 4);
}

TEST(PixImage, CopyKeepsRowsWhenPaletteWasLowered) {
    CPixImage source;
    source.Allocate(4, 2, 8, Gif);
    std::memset(source.PixelBits(), 3, source.Header().biSizeImage);
    source.SetPaletteEntry(3, 9, 8, 7);
    source.Header().biClrUsed = 16;
    CPixImage copy(source, true, false, false);
    EXPECT_EQ(copy.Header().biClrUsed, 16u);
    EXPECT_EQ(copy.PixelIndex(3, 1), 3);
    EXPECT_TRUE(SameColor(copy.PixelColor(3, 1), Quad(9, 8, 7)));
    // A palette count raised beyond the block never reaches outside the palette.
    copy.Header().biClrUsed = 100000;
    EXPECT_EQ(copy.PaletteBytes(), 1024u);
}

TEST(PixImage, AlphaPlane) {
    CPixImage image;
    EXPECT_FALSE(image.AlphaAllocate());
    image.Allocate(3, 2, 24, Png);
    EXPECT_EQ(image.AlphaValue(0, 0), 0);
    image.StoreAlpha(0, 0, 9);  // no plane: ignored
    ASSERT_TRUE(image.AlphaAllocate());
    EXPECT_EQ(image.AlphaValue(2, 1), 0);
    image.AlphaFill(77);
    EXPECT_EQ(image.AlphaValue(2, 1), 77);
    image.StoreAlpha(2, 1, 5);
    image.StoreAlpha(3, 1, 6);  // outside: ignored
    EXPECT_EQ(image.AlphaPlane()[5], 5);
    image.AlphaZero();
    EXPECT_EQ(image.AlphaValue(2, 1), 0);

    CPixImage other;
    other.Allocate(3, 1, 24, Png);
    EXPECT_FALSE(other.AlphaCopyFrom(CPixImage()));
    image.AlphaFill(44);
    image.Info().alphaMax = 128;
    EXPECT_TRUE(other.AlphaCopyFrom(image));
    EXPECT_EQ(other.AlphaValue(2, 0), 44);
    EXPECT_EQ(other.Info().alphaMax, 128);
    CPixImage narrow;
    narrow.Allocate(2, 2, 24, Png);
    EXPECT_FALSE(narrow.AlphaCopyFrom(image));

    // Allocate drops an old plane.
    image.Allocate(3, 2, 24, Png);
    EXPECT_FALSE(image.HasAlpha());
}

TEST(PixImage, SelectionAndResolution) {
    CPixImage image;
    EXPECT_FALSE(image.InSelection(0, 0));
    image.Allocate(4, 3, 8, Bmp);
    EXPECT_TRUE(image.InSelection(3, 2));
    EXPECT_FALSE(image.InSelection(4, 0));
    image.SelectionRelease();
    EXPECT_EQ(image.Info().selectionLeft, 4);
    EXPECT_EQ(image.Info().selectionBottom, 3);
    EXPECT_EQ(image.Info().selectionRight, 0);

    image.SetHorizontalDpi(300);
    image.SetVerticalDpi(1);
    EXPECT_EQ(image.Header().biXPelsPerMeter, 11811);
    EXPECT_EQ(image.Header().biYPelsPerMeter, 39);
}

TEST(ImageType, ExtensionTable) {
    EXPECT_EQ(ImageTypeForPath("/a/b/IMG_0001.JPG"), Jpeg);
    EXPECT_EQ(ImageTypeForPath("x.jpeg"), Jpeg);
    EXPECT_EQ(ImageTypeForPath("x.Tiff"), Tiff);
    EXPECT_EQ(ImageTypeForPath("x.tif"), Tiff);
    EXPECT_EQ(ImageTypeForPath("x.pcx"), Pcx);
    EXPECT_EQ(ImageTypeForPath("x.webp"), -1);
    EXPECT_EQ(ImageTypeForPath("/dir.jpg/noext"), -1);
    EXPECT_EQ(ImageTypeForPath("noext"), -1);
}

TEST(Decode, UnknownTypeAndMissingFile) {
    CPixImage image;
    image.Allocate(2, 2, 24, Bmp);
    EXPECT_FALSE(image.LoadFile("/nonexistent/file.jpg", Jpeg));
    EXPECT_STREQ(image.LastError(), "");
    EXPECT_TRUE(image.IsValid());  // the previous picture stays
    EXPECT_FALSE(image.LoadFile("/dev/null", 12));
    EXPECT_STREQ(image.LastError(), "Unsupported operation for this format");
    EXPECT_EQ(image.Width(), 2u);
}

TEST(ImageFileStream, ClosingANonOwningStreamLeavesTheFileOpen) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("abc", file);
    std::rewind(file);
    {
        ImageFileStream stream(file, false);
        EXPECT_EQ(stream.GetByte(), 'a');
        EXPECT_TRUE(stream.CloseStream());
        EXPECT_EQ(stream.GetByte(), -1);  // detached
        EXPECT_TRUE(stream.AtEnd());
    }
    EXPECT_EQ(std::fgetc(file), 'b');  // still open for its owner
    std::fclose(file);

    ImageMemoryStream memory("xyz", 3);
    EXPECT_TRUE(memory.SeekTo(1, SEEK_SET));
    EXPECT_EQ(memory.GetByte(), 'y');
    EXPECT_FALSE(memory.SeekTo(-5, SEEK_CUR));
    EXPECT_FALSE(memory.SeekTo(INT64_MAX, SEEK_END));
    char buffer[4] = {};
    EXPECT_TRUE(memory.SeekTo(-2, SEEK_END));
    EXPECT_EQ(memory.ReadItems(buffer, 1, 4), 2u);
    EXPECT_STREQ(buffer, "yz");
}
