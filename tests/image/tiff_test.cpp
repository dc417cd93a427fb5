#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

#include "image/PixImage.h"
#include "support/Ffprobe.h"
#include "support/ImageTestFiles.h"
#include "support/TempDir.h"

namespace {

TiffPage GrayPage(uint32_t width, uint32_t height) {
    TiffPage page;
    page.width = width;
    page.height = height;
    page.data.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < page.data.size(); ++i)
        page.data[i] = static_cast<uint8_t>(i * 5 + 1);
    return page;
}

TiffPage RgbPage(uint32_t width, uint32_t height) {
    TiffPage page;
    page.width = width;
    page.height = height;
    page.samples = 3;
    page.photometric = PHOTOMETRIC_RGB;
    page.data.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < page.data.size(); ++i)
        page.data[i] = static_cast<uint8_t>(i * 11 + 3);
    return page;
}

// Gray value of the file's sample at (x, y from the top) for GrayPage.
uint8_t GraySample(uint32_t width, uint32_t x, uint32_t top) {
    return static_cast<uint8_t>((top * width + x) * 5 + 1);
}

// Finds the IFD entry of a tag in a little-endian classic TIFF and sets its (short or long) value.
bool PatchTag(std::string& tiff, uint16_t tag, uint32_t value) {
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(tiff[at]) | static_cast<uint8_t>(tiff[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (tiff.size() < 8 || tiff[0] != 'I')
        return false;
    size_t ifd = u32(4);
    uint32_t count = u16(ifd);
    for (uint32_t i = 0; i < count; ++i) {
        size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) != tag)
            continue;
        // A value too big for a SHORT entry turns the entry into a LONG one.
        const bool isShort = u16(entry + 2) == TIFF_SHORT && value <= 0xFFFF;
        tiff[entry + 2] = static_cast<char>(isShort ? TIFF_SHORT : TIFF_LONG);
        tiff[entry + 3] = 0;
        for (int b = 0; b < 4; ++b)
            tiff[entry + 8 + b] = static_cast<char>(b < (isShort ? 2 : 4) ? value >> (8 * b) : 0);
        return true;
    }
    return false;
}

}  // namespace

TEST(TiffDecoder, RgbThroughRgbaReaderWithResolution) {
    for (uint32_t rowsPerStrip : {0u, 3u}) {
        SCOPED_TRACE(testing::Message() << "rows per strip " << rowsPerStrip);
        TiffPage page = RgbPage(7, 10);
        page.rowsPerStrip = rowsPerStrip;
        page.xResolution = 300.7f;
        page.yResolution = 150.2f;
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
        EXPECT_EQ(image.Type(), Tiff);
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_EQ(image.Info().frameCount, 1);
        EXPECT_EQ(image.Info().dpiX, 300);
        EXPECT_EQ(image.Info().dpiY, 150);
        EXPECT_FALSE(image.HasAlpha());
        RgbPicture picture = PictureOf(image);
        ASSERT_EQ(picture.rgb.size(), page.data.size());
        EXPECT_TRUE(std::equal(picture.rgb.begin(), picture.rgb.end(), page.data.begin()));
    }
}

TEST(TiffDecoder, GrayStripsAndSixteenBitSamples) {
    TiffPage page = GrayPage(9, 7);
    page.rowsPerStrip = 2;
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.PaletteEntry(77).rgbGreen, 77);
    for (uint32_t top = 0; top < 7; ++top)
        for (uint32_t x = 0; x < 9; ++x)
            ASSERT_EQ(image.PixelIndex(x, 6 - top), GraySample(9, x, top)) << x << "," << top;

    TiffPage deep;
    deep.width = 3;
    deep.height = 1;
    deep.bits = 16;
    const uint16_t samples[3] = {0x12FF, 0x8001, 0xFE00};
    deep.data.resize(6);
    std::memcpy(deep.data.data(), samples, 6);  // libtiff writes native order
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({deep}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.PixelIndex(0, 0), 0x12);
    EXPECT_EQ(image.PixelIndex(1, 0), 0x80);
    EXPECT_EQ(image.PixelIndex(2, 0), 0xFE);
}

TEST(TiffDecoder, MinIsWhiteAndBilevel) {
    TiffPage bilevel;
    bilevel.width = 10;
    bilevel.height = 1;
    bilevel.bits = 1;
    bilevel.photometric = PHOTOMETRIC_MINISWHITE;
    bilevel.data = {0b10000000, 0b01000000};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({bilevel}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 1u);
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 0);    // bit 1 is black when 0 is white
    EXPECT_EQ(image.PixelColor(1, 0).rgbRed, 255);
    EXPECT_EQ(image.PixelColor(9, 0).rgbRed, 0);

    bilevel.photometric = PHOTOMETRIC_MINISBLACK;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({bilevel}), Tiff)) << image.LastError();
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 255);
    EXPECT_EQ(image.PixelColor(1, 0).rgbRed, 0);

    TiffPage gray = GrayPage(4, 2);
    gray.photometric = PHOTOMETRIC_MINISWHITE;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({gray}), Tiff)) << image.LastError();
    EXPECT_EQ(image.PixelIndex(2, 1), GraySample(4, 2, 0));
    EXPECT_EQ(image.PixelColor(2, 1).rgbRed, 255 - GraySample(4, 2, 0));

    TiffPage nibbles;
    nibbles.width = 3;
    nibbles.height = 1;
    nibbles.bits = 4;
    nibbles.data = {0x0F, 0x80};
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({nibbles}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 4u);
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 0);
    EXPECT_EQ(image.PixelColor(1, 0).rgbRed, 255);
    EXPECT_EQ(image.PixelColor(2, 0).rgbRed, 8 * 17);
}

TEST(TiffDecoder, ColourMapsOfEightAndSixteenBits) {
    TiffPage page;
    page.width = 3;
    page.height = 1;
    page.photometric = PHOTOMETRIC_PALETTE;
    page.data = {0, 1, 255};
    page.red.assign(256, 0);
    page.green.assign(256, 0);
    page.blue.assign(256, 0);
    page.red[1] = 200 * 257;  // a real 16-bit map
    page.green[1] = 100 * 257;
    page.blue[1] = 65535;
    page.red[255] = 32768;
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    RGBQUAD c = image.PixelColor(1, 0);
    EXPECT_EQ(c.rgbRed, 200);
    EXPECT_EQ(c.rgbGreen, 100);
    EXPECT_EQ(c.rgbBlue, 255);
    EXPECT_EQ(image.PixelColor(2, 0).rgbRed, 32768 * 255 / 65535);

    // A map whose values all fit in 8 bits is taken as it stands.
    page.red[1] = 200;
    page.green[1] = 100;
    page.blue[1] = 255;
    page.red[255] = 7;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
    c = image.PixelColor(1, 0);
    EXPECT_EQ(c.rgbRed, 200);
    EXPECT_EQ(c.rgbGreen, 100);
    EXPECT_EQ(c.rgbBlue, 255);
    EXPECT_EQ(image.PixelColor(2, 0).rgbRed, 7);
}

TEST(TiffDecoder, GrayWithAlphaSample) {
    TiffPage page;
    page.width = 2;
    page.height = 1;
    page.samples = 2;
    page.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    page.data = {10, 200, 20, 0};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    ASSERT_TRUE(image.HasAlpha());
    EXPECT_EQ(image.PixelIndex(0, 0), 10);
    EXPECT_EQ(image.AlphaValue(0, 0), 200);
    EXPECT_EQ(image.PixelIndex(1, 0), 20);
    EXPECT_EQ(image.AlphaValue(1, 0), 0);
}

TEST(TiffDecoder, TwoPagesCountAndSelect) {
    TiffPage first = GrayPage(4, 3);
    TiffPage second = RgbPage(5, 2);
    const std::string bytes = EncodeTiff({first, second});

    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, bytes, Tiff)) << image.LastError();
    EXPECT_EQ(image.Info().frameCount, 2);
    EXPECT_EQ(image.Width(), 4u);
    EXPECT_EQ(image.BitsPerPixel(), 8u);

    image.Info().frame = 1;
    ASSERT_TRUE(DecodeBytes(image, bytes, Tiff)) << image.LastError();
    EXPECT_EQ(image.Width(), 5u);
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.Info().frame, 1);
    EXPECT_EQ(image.PixelColor(0, 1).rgbRed, second.data[0]);

    image.Info().frame = 2;
    EXPECT_FALSE(DecodeBytes(image, bytes, Tiff));
    EXPECT_STREQ(image.LastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(image.Info().frameCount, 2);
    EXPECT_EQ(image.Width(), 5u);  // the page decoded before stays
}

TEST(TiffDecoder, OrientationsTurnThePicture) {
    // File rows, top first: 1 2 3 / 4 5 6 (samples 10 x the digit).
    TiffPage page;
    page.width = 3;
    page.height = 2;
    page.data = {10, 20, 30, 40, 50, 60};
    struct Case {
        uint16_t orientation;
        uint32_t width;
        std::vector<uint8_t> topDown;  // expected picture, top row first (as ImageMagick -auto-orient shows it)
    };
    const Case cases[] = {
        {1, 3, {10, 20, 30, 40, 50, 60}},
        {2, 3, {30, 20, 10, 60, 50, 40}},
        {3, 3, {60, 50, 40, 30, 20, 10}},
        {4, 3, {40, 50, 60, 10, 20, 30}},
        {5, 2, {10, 40, 20, 50, 30, 60}},
        {6, 2, {40, 10, 50, 20, 60, 30}},
        {7, 2, {60, 30, 50, 20, 40, 10}},
        {8, 2, {30, 60, 20, 50, 10, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation);
        page.orientation = c.orientation;
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
        ASSERT_EQ(image.Width(), c.width);
        const uint32_t height = image.Height();
        std::vector<uint8_t> topDown;
        for (uint32_t top = 0; top < height; ++top)
            for (uint32_t x = 0; x < image.Width(); ++x)
                topDown.push_back(image.PixelIndex(x, height - 1 - top));
        EXPECT_EQ(topDown, c.topDown);
    }
}

TEST(TiffDecoder, TiledGrayComesThroughRgbaReader) {
    TiffPage page = GrayPage(20, 18);
    page.tileSize = 16;
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({page}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    for (uint32_t top : {0u, 17u}) {
        for (uint32_t x : {0u, 19u})
            EXPECT_EQ(image.PixelColor(x, 17 - top).rgbGreen, GraySample(20, x, top));
    }
}

TEST(TiffDecoder, OtherSampleSizes) {
    // 2-bit gray has no index layout of its own here; libtiff's RGBA reader gives its grays.
    TiffPage twoBit;
    twoBit.width = 4;
    twoBit.height = 1;
    twoBit.bits = 2;
    twoBit.data = {0b00011011};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeTiff({twoBit}), Tiff)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(image.PixelColor(x, 0).rgbRed, 85 * x);

    // 32-bit samples fit neither reader: a clear refusal rather than a wrong picture.
    TiffPage wide;
    wide.width = 2;
    wide.height = 1;
    wide.bits = 32;
    wide.data.assign(8, 0x40);
    EXPECT_FALSE(DecodeBytes(image, EncodeTiff({wide}), Tiff));
    EXPECT_STREQ(image.LastError(), "Unsupported TIFF layout: 1 samples of 32 bits, photometric 1");
    EXPECT_EQ(image.Width(), 4u);
}

TEST(TiffDecoder, HostileInputFailsCleanly) {
    const std::string good = EncodeTiff({GrayPage(8, 8)});
    CPixImage image;

    EXPECT_FALSE(DecodeBytes(image, "", Tiff));
    EXPECT_STREQ(image.LastError(), "Error encountered while opening TIFF file");
    EXPECT_FALSE(DecodeBytes(image, EncodeJpeg(4, 4, 1, std::vector<uint8_t>(16, 9)), Tiff));
    EXPECT_STREQ(image.LastError(), "Error encountered while opening TIFF file");
    EXPECT_FALSE(DecodeBytes(image, good.substr(0, 12), Tiff));
    EXPECT_STREQ(image.LastError(), "Error encountered while opening TIFF file");

    std::string huge = good;
    ASSERT_TRUE(PatchTag(huge, TIFFTAG_IMAGEWIDTH, 100000));
    ASSERT_TRUE(PatchTag(huge, TIFFTAG_IMAGELENGTH, 100000));
    ASSERT_TRUE(PatchTag(huge, TIFFTAG_ROWSPERSTRIP, 100000));
    EXPECT_FALSE(DecodeBytes(image, huge, Tiff));
    EXPECT_STREQ(image.LastError(), "Image too large: 100000 x 100000 pixels");

    // A strip that points past the end of the file.
    std::string lost = good;
    ASSERT_TRUE(PatchTag(lost, TIFFTAG_STRIPOFFSETS, 1u << 30));
    EXPECT_FALSE(DecodeBytes(image, lost, Tiff));
    EXPECT_STREQ(image.LastError(), "Corrupted TIFF file!");

    // LZW-compressed RGB through the RGBA reader, with the strip cut short.
    TiffPage lzw = RgbPage(16, 16);
    lzw.compression = COMPRESSION_LZW;
    std::string cut = EncodeTiff({lzw});
    ASSERT_TRUE(PatchTag(cut, TIFFTAG_STRIPBYTECOUNTS, 20));
    EXPECT_FALSE(DecodeBytes(image, cut, Tiff));
    EXPECT_STREQ(image.LastError(), "Corrupted TIFF file!");
    EXPECT_FALSE(image.IsValid());
}

TEST(TiffDecoder, FilesFromOutsideToolsMatchImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveProgram("/usr/bin/convert") && HaveProgram("tiffcp"), "ImageMagick or tiffcp missing");
    TempDir dir;
    int status = 0;
    RunCommand("/usr/bin/convert -seed 9 -size 41x27 plasma:fractal -depth 8 " + ShellQuote(dir.file("im.tif")), &status);
    ASSERT_EQ(status, 0);
    RunCommand("/usr/bin/convert -seed 10 -size 23x19 plasma:fractal -colors 30 -type Palette -depth 8 " +
                   ShellQuote(dir.file("palette.tif")),
               &status);
    ASSERT_EQ(status, 0);
    RunCommand("/usr/bin/convert -seed 11 -size 30x20 plasma:fractal -colorspace Gray -depth 8 " +
                   ShellQuote(dir.file("gray.tif")),
               &status);
    ASSERT_EQ(status, 0);
    // tiffcp rewrites them with other compressions and strip layouts.
    RunCommand("tiffcp -c lzw -r 5 " + ShellQuote(dir.file("im.tif")) + " " + ShellQuote(dir.file("lzw.tif")), &status);
    ASSERT_EQ(status, 0);
    RunCommand("tiffcp -c zip -t " + ShellQuote(dir.file("gray.tif")) + " " + ShellQuote(dir.file("tiled.tif")), &status);
    ASSERT_EQ(status, 0);
    RunCommand("tiffcp -c packbits " + ShellQuote(dir.file("palette.tif")) + " " + ShellQuote(dir.file("packbits.tif")),
               &status);
    ASSERT_EQ(status, 0);

    for (const char* name : {"im.tif", "palette.tif", "gray.tif", "lzw.tif", "tiled.tif", "packbits.tif"}) {
        SCOPED_TRACE(name);
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(dir.file(name).c_str(), Tiff)) << image.LastError();
        RgbPicture reference = ReadPnm(RunCommand("/usr/bin/convert " + ShellQuote(dir.file(name)) + " -depth 8 ppm:-"));
        ASSERT_FALSE(reference.empty());
        EXPECT_EQ(MaxChannelDifference(PictureOf(image), reference), 0);
    }
}
