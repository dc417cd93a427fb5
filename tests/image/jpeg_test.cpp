#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstring>

#include "image/PixImage.h"
#include "support/Ffprobe.h"
#include "support/ImageTestFiles.h"
#include "support/TempDir.h"

namespace {

// A smooth colour picture with some detail, so that chroma subsampling and the IDCT matter.
std::vector<uint8_t> ColourSamples(uint32_t width, uint32_t height) {
    std::vector<uint8_t> samples(static_cast<size_t>(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &samples[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = static_cast<uint8_t>(((x / 4 + y / 4) & 1) ? 200 : 40);
        }
    }
    return samples;
}

// What libjpeg itself makes of a file with its default RGB output: the reference pixels.
RgbPicture LibjpegReference(const std::string& bytes) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    RgbPicture picture;
    picture.width = cinfo.output_width;
    picture.height = cinfo.output_height;
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &picture.rgb[static_cast<size_t>(cinfo.output_scanline) * picture.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return picture;
}

// Offset of the frame header's height field (SOF0 or SOF2), or 0.
size_t FrameSizeOffset(const std::string& bytes) {
    for (size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) == 0xFF &&
            (static_cast<uint8_t>(bytes[i + 1]) == 0xC0 || static_cast<uint8_t>(bytes[i + 1]) == 0xC2))
            return i + 5;  // marker, length (2), precision (1), then height and width
    }
    return 0;
}

}  // namespace

TEST(JpegDecoder, ColourPictureMatchesLibjpegExactly) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        JpegOptions options;
        options.progressive = progressive;
        std::string bytes = EncodeJpeg(37, 23, 3, ColourSamples(37, 23), options);
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, bytes, Jpeg)) << image.LastError();
        EXPECT_EQ(image.Type(), Jpeg);
        EXPECT_EQ(image.Width(), 37u);
        EXPECT_EQ(image.Height(), 23u);
        EXPECT_EQ(image.BitsPerPixel(), 24u);
        EXPECT_EQ(image.Header().biClrUsed, 0u);
        EXPECT_FALSE(image.HasAlpha());
        EXPECT_EQ(MaxChannelDifference(PictureOf(image), LibjpegReference(bytes)), 0);
        // Row padding (37 x 3 = 111 bytes in a 112-byte row) is cleared.
        for (uint32_t y = 0; y < image.Height(); ++y)
            EXPECT_EQ(image.Row(y)[111], 0);
    }
}

TEST(JpegDecoder, GrayscaleGetsEightBitsAndGrayPalette) {
    std::vector<uint8_t> samples(16 * 8);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<uint8_t>(i * 2);
    std::string bytes = EncodeJpeg(16, 8, 1, samples, JpegOptions{.quality = 100});
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, bytes, Jpeg)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.Header().biClrUsed, 256u);
    for (int i : {0, 1, 128, 255}) {
        RGBQUAD entry = image.PaletteEntry(static_cast<uint8_t>(i));
        EXPECT_EQ(entry.rgbRed, i);
        EXPECT_EQ(entry.rgbGreen, i);
        EXPECT_EQ(entry.rgbBlue, i);
    }
    EXPECT_EQ(MaxChannelDifference(PictureOf(image), LibjpegReference(bytes)), 0);
    // Top-left sample of the file sits in the top row of the picture.
    EXPECT_NEAR(image.PixelIndex(0, 7), 0, 1);
    EXPECT_NEAR(image.PixelIndex(15, 0), 254, 1);
}

TEST(JpegDecoder, CmykIsScaledByBlack) {
    std::vector<uint8_t> samples(8 * 8 * 4);
    for (size_t i = 0; i < samples.size(); i += 4) {
        samples[i] = samples[i + 1] = samples[i + 2] = 255;
        samples[i + 3] = 128;
    }
    std::string bytes = EncodeJpeg(8, 8, 4, samples, JpegOptions{.quality = 100});
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, bytes, Jpeg)) << image.LastError();
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    for (int x = 0; x < 8; ++x) {
        RGBQUAD c = image.PixelColor(x, 3);
        EXPECT_EQ(c.rgbRed, 128);
        EXPECT_EQ(c.rgbGreen, 128);
        EXPECT_EQ(c.rgbBlue, 128);
    }

    // Distinct inks land in the right channels: byte 0 (blue) comes from the third component.
    for (size_t i = 0; i < samples.size(); i += 4) {
        samples[i] = 255;      // -> red
        samples[i + 1] = 102;  // -> green
        samples[i + 2] = 51;   // -> blue
        samples[i + 3] = 255;
    }
    ASSERT_TRUE(DecodeBytes(image, EncodeJpeg(8, 8, 4, samples, JpegOptions{.quality = 100}), Jpeg));
    RGBQUAD c = image.PixelColor(4, 4);
    EXPECT_NEAR(c.rgbRed, 255, 1);
    EXPECT_NEAR(c.rgbGreen, 102, 1);
    EXPECT_NEAR(c.rgbBlue, 51, 1);
}

TEST(JpegDecoder, DensityBecomesDpi) {
    struct Case {
        uint8_t unit;
        uint16_t x, y;
        int32_t dpiX, dpiY;
    };
    for (Case c : {Case{2, 28, 28, 71, 71}, Case{0, 1, 1, 1, 1}, Case{1, 300, 150, 300, 150}, Case{2, 100, 40, 254, 101}}) {
        SCOPED_TRACE(testing::Message() << "unit " << int(c.unit) << " density " << c.x << "x" << c.y);
        JpegOptions options;
        options.densityUnit = c.unit;
        options.xDensity = c.x;
        options.yDensity = c.y;
        CPixImage image;
        ASSERT_TRUE(DecodeBytes(image, EncodeJpeg(8, 8, 3, ColourSamples(8, 8), options), Jpeg));
        EXPECT_EQ(image.Info().dpiX, c.dpiX);
        EXPECT_EQ(image.Info().dpiY, c.dpiY);
        EXPECT_EQ(image.Header().biXPelsPerMeter, static_cast<LONG>(c.dpiX * 39.37007874015748 + 0.5));
    }
}

TEST(JpegDecoder, TruncatedFileStillLoads) {
    const std::vector<uint8_t> samples = ColourSamples(64, 64);
    std::string bytes = EncodeJpeg(64, 64, 3, samples, JpegOptions{.quality = 95});
    CPixImage full;
    ASSERT_TRUE(DecodeBytes(full, bytes, Jpeg));
    EXPECT_EQ(full.LastWarning(), "");
    CPixImage cut;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(DecodeBytes(cut, bytes.substr(0, bytes.size() * 6 / 10), Jpeg)) << cut.LastError();
    // libjpeg's warning stays with the picture for the caller to report; nothing goes to stderr.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(cut.LastWarning(), "Premature end of JPEG file");
    EXPECT_EQ(cut.Width(), 64u);
    EXPECT_EQ(cut.Height(), 64u);
    // The rows decoded before the data ran out are the same as in the whole file.
    EXPECT_EQ(std::memcmp(cut.Row(63), full.Row(63), 64 * 3), 0);
}

TEST(JpegDecoder, WrongContentFailsWithLibjpegMessageAndKeepsPicture) {
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, EncodeJpeg(8, 4, 3, ColourSamples(8, 4)), Jpeg));
    PngSpec png;
    png.width = png.height = 1;
    png.rows = {{1, 2, 3}};
    EXPECT_FALSE(DecodeBytes(image, EncodePng(png), Jpeg));
    EXPECT_STREQ(image.LastError(), "Not a JPEG file: starts with 0x89 0x50");
    EXPECT_EQ(image.Width(), 8u);
    EXPECT_EQ(image.Height(), 4u);
    EXPECT_EQ(image.Type(), Jpeg);
}

TEST(JpegDecoder, HostileInputFailsCleanly) {
    const std::string good = EncodeJpeg(32, 32, 3, ColourSamples(32, 32));
    CPixImage image;

    EXPECT_FALSE(DecodeBytes(image, "", Jpeg));
    EXPECT_STREQ(image.LastError(), "Empty input file");

    EXPECT_FALSE(DecodeBytes(image, good.substr(0, 40), Jpeg));
    EXPECT_NE(image.LastError()[0], '\0');

    // A header claiming 65000 x 65000 pixels (12 GB) is refused before anything is allocated.
    std::string huge = good;
    size_t at = FrameSizeOffset(huge);
    ASSERT_NE(at, 0u);
    huge[at] = huge[at + 2] = static_cast<char>(0xFD);
    huge[at + 1] = huge[at + 3] = static_cast<char>(0xE8);
    EXPECT_FALSE(DecodeBytes(image, huge, Jpeg));
    EXPECT_STREQ(image.LastError(), "Image too large: 65000 x 65000 pixels");

    // Zero width is libjpeg's own complaint.
    std::string empty = good;
    empty[at + 2] = empty[at + 3] = 0;
    EXPECT_FALSE(DecodeBytes(image, empty, Jpeg));
    EXPECT_NE(image.LastError()[0], '\0');

    // Scrambled entropy data decodes to something or fails, but never crashes or reads astray.
    for (size_t step : {7u, 13u, 31u}) {
        std::string corrupt = good;
        for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; i += step)
            corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
        CPixImage other;
        if (DecodeBytes(other, corrupt, Jpeg))
            EXPECT_EQ(other.Width(), 32u);
        else
            EXPECT_NE(other.LastError()[0], '\0');
    }
    EXPECT_FALSE(image.IsValid());
}

TEST(JpegDecoder, FilesFromOutsideToolsMatchDjpeg) {
    PIXREEL_REQUIRE_TOOLS(HaveProgram("cjpeg") && HaveProgram("djpeg") && HaveProgram("/usr/bin/convert"),
                          "cjpeg, djpeg or ImageMagick missing");
    TempDir dir;
    // A PPM of our own for cjpeg, and a picture ImageMagick draws itself.
    const std::vector<uint8_t> samples = ColourSamples(50, 30);
    std::string ppm = "P6\n50 30\n255\n" + std::string(samples.begin(), samples.end());
    WriteFileBytes(dir.file("in.ppm"), ppm);
    int status = 0;
    RunCommand("cjpeg -quality 80 -outfile " + ShellQuote(dir.file("cjpeg.jpg")) + " " + ShellQuote(dir.file("in.ppm")),
               &status);
    ASSERT_EQ(status, 0);
    RunCommand("cjpeg -grayscale -progressive -outfile " + ShellQuote(dir.file("gray.jpg")) + " " +
                   ShellQuote(dir.file("in.ppm")),
               &status);
    ASSERT_EQ(status, 0);
    RunCommand("/usr/bin/convert -seed 7 -size 61x45 plasma:fractal -quality 85 " + ShellQuote(dir.file("im.jpg")),
               &status);
    ASSERT_EQ(status, 0);

    for (const char* name : {"cjpeg.jpg", "gray.jpg", "im.jpg"}) {
        SCOPED_TRACE(name);
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(dir.file(name).c_str(), Jpeg)) << image.LastError();
        RgbPicture reference = ReadPnm(RunCommand("djpeg -pnm " + ShellQuote(dir.file(name))));
        ASSERT_FALSE(reference.empty());
        EXPECT_EQ(MaxChannelDifference(PictureOf(image), reference), 0);
    }
}
