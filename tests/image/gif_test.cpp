#include <gtest/gtest.h>

#include <vector>

#include "image/PixImage.h"
#include "support/DecoderTesting.h"
#include "support/TempDir.h"

namespace {

// Image data for the given indices: the minimum code size, then LZW codes in sub-blocks. Every
// index is sent as its own literal code, with a clear code before the table would make the codes
// wider, which any GIF decoder must read.
std::string ImageData(const std::vector<uint8_t>& indices, int minCodeSize = 2, bool endCode = true) {
    const unsigned clear = 1u << minCodeSize;
    const unsigned width = static_cast<unsigned>(minCodeSize) + 1;
    std::string bytes;
    uint32_t bits = 0;
    unsigned count = 0;
    auto put = [&](unsigned code) {
        bits |= code << count;
        count += width;
        while (count >= 8) {
            bytes += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    unsigned sinceClear = 0;
    put(clear);
    for (uint8_t index : indices) {
        if (sinceClear == clear - 2) {
            put(clear);
            sinceClear = 0;
        }
        put(index);
        ++sinceClear;
    }
    if (endCode)
        put(clear + 1);
    if (count > 0)
        bytes += static_cast<char>(bits & 0xFF);
    std::string data(1, static_cast<char>(minCodeSize));
    for (size_t i = 0; i < bytes.size(); i += 255) {
        std::string block = bytes.substr(i, 255);
        data += static_cast<char>(block.size());  // sub-block length
        data += block;
    }
    return data + std::string(1, '\0');  // terminator
}

// The 13-byte header; `tableBits` > 0 adds a global table of 2^tableBits entries where entry i is
// (i, 2 i, 255 - i).
Bytes Header(unsigned screenWidth, unsigned screenHeight, unsigned tableBits) {
    Bytes b;
    b.text("GIF89a")
        .u16(screenWidth).u16(screenHeight)
        .u8(tableBits ? 0x80 | (tableBits - 1) : 0)  // global table flag and size
        .u8(0)                                       // background colour
        .u8(0);                                      // aspect ratio
    for (unsigned i = 0; tableBits && i < (1u << tableBits); ++i)
        b.u8(i).u8(2 * i).u8(255 - i);
    return b;
}

// A graphic control extension.
std::string GraphicControl(int transparentIndex, unsigned disposal = 0, unsigned delay = 0) {
    Bytes b;
    b.u8(0x21).u8(0xF9)  // extension, graphic control
        .u8(4)           // block size
        .u8((disposal << 2) | (transparentIndex >= 0 ? 1 : 0))
        .u16(delay)
        .u8(transparentIndex >= 0 ? static_cast<unsigned>(transparentIndex) : 0)
        .u8(0);          // terminator
    return b.str();
}

// An image descriptor with its data; `localBits` > 0 adds a local table whose entries are
// (200, i, 0).
std::string Frame(unsigned left, unsigned top, unsigned width, unsigned height, const std::vector<uint8_t>& indices,
                  bool interlaced = false, unsigned localBits = 0) {
    Bytes b;
    b.u8(0x2C)
        .u16(left).u16(top).u16(width).u16(height)
        .u8((localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0));
    for (unsigned i = 0; localBits && i < (1u << localBits); ++i)
        b.u8(200).u8(i).u8(0);
    int minCodeSize = 2;
    for (uint8_t index : indices) {
        while ((1u << minCodeSize) <= index)
            ++minCodeSize;
    }
    return b.str() + ImageData(indices, minCodeSize);
}

// Palette index at (x, y counted from the top).
int IndexFromTop(const CPixImage& image, uint32_t x, uint32_t y) {
    return image.PixelIndex(x, image.Height() - 1 - y);
}

}  // namespace

TEST(GifDecoder, TransparencyAndWhiteFill) {
    // 2x2, a 32-entry global table, transparent index 5.
    const std::string file = Header(2, 2, 5).str() + GraphicControl(5, 0, 7) + Frame(0, 0, 2, 2, {1, 5, 31, 0}) + ";";
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, file, Gif)) << image.LastError();
    EXPECT_EQ(image.Type(), Gif);
    EXPECT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.Info().frameCount, 1);
    EXPECT_EQ(image.Info().frameDelay, 7u);
    EXPECT_EQ(image.Info().backgroundIndex, 5);
    EXPECT_EQ(IndexFromTop(image, 0, 0), 1);
    EXPECT_EQ(IndexFromTop(image, 1, 0), 5);
    EXPECT_EQ(IndexFromTop(image, 0, 1), 31);
    EXPECT_TRUE(Same(image.PaletteEntry(31), Rgb(31, 62, 224)));
    EXPECT_TRUE(Same(image.PaletteEntry(32), Rgb(255, 255, 255)));
    EXPECT_TRUE(Same(image.PaletteEntry(255), Rgb(255, 255, 255)));
    EXPECT_TRUE(Same(image.TransparentColor(), Rgb(5, 10, 250)));

    // Without transparency the entries past the table stay black.
    CPixImage opaque;
    ASSERT_TRUE(DecodeBytes(opaque, Header(2, 2, 5).str() + Frame(0, 0, 2, 2, {1, 5, 31, 0}) + ";", Gif));
    EXPECT_EQ(opaque.Info().backgroundIndex, -1);
    EXPECT_TRUE(Same(opaque.PaletteEntry(32), Rgb(0, 0, 0)));

    // A 4-entry table gives a 4-bit image: the depth follows the table size.
    CPixImage small;
    ASSERT_TRUE(DecodeBytes(small, Header(3, 1, 2).str() + Frame(0, 0, 3, 1, {3, 0, 2}) + ";", Gif));
    EXPECT_EQ(small.BitsPerPixel(), 4u);
    EXPECT_EQ(IndexFromTop(small, 0, 0), 3);
    EXPECT_EQ(IndexFromTop(small, 2, 0), 2);
}

TEST(GifDecoder, InterlacedRowsComeOutInOrder) {
    // 1x10: the data holds rows 0, 8 (pass 1), 4 (pass 2), 2, 6 (pass 3), 1, 3, 5, 7, 9 (pass 4);
    // each row's index is its number from the top.
    const std::vector<uint8_t> passes = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, Header(1, 10, 4).str() + Frame(0, 0, 1, 10, passes, true) + ";", Gif));
    for (uint32_t y = 0; y < 10; ++y)
        EXPECT_EQ(IndexFromTop(image, 0, y), static_cast<int>(y)) << y;
}

TEST(GifDecoder, AnimationFramesCountAndChoice) {
    // Three 2x1 frames with a looping extension and a comment in between.
    Bytes looping;
    looping.u8(0x21).u8(0xFF).u8(11).text("NETSCAPE2.0")  // application extension
        .u8(3).u8(1).u16(0)                              // loop sub-block: loop forever
        .u8(0);
    const std::string comment = std::string("\x21\xFE\x05hello\x00", 9);
    const std::string file = Header(2, 1, 2).str() + looping.str() + GraphicControl(-1, 0, 10) +
                             Frame(0, 0, 2, 1, {1, 1}) + comment + GraphicControl(-1, 0, 20) +
                             Frame(0, 0, 2, 1, {2, 2}) + GraphicControl(-1, 0, 30) + Frame(0, 0, 2, 1, {3, 3}) + ";";
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        CPixImage image;
        image.Info().frame = frame;
        ASSERT_TRUE(DecodeBytes(image, file, Gif));
        EXPECT_EQ(image.Info().frameCount, 3);
        EXPECT_EQ(image.Info().frame, frame);
        EXPECT_EQ(image.Info().frameDelay, 10u * static_cast<unsigned>(frame + 1));
        EXPECT_EQ(IndexFromTop(image, 1, 0), frame + 1);
    }

    CPixImage missing;
    missing.Info().frame = 3;
    missing.SetLastError("old");
    EXPECT_FALSE(DecodeBytes(missing, file, Gif));
    EXPECT_STREQ(missing.LastError(), "");
    EXPECT_EQ(missing.Info().frameCount, 3);
}

TEST(GifDecoder, LeaveInPlaceComposesOntoThePreviousFrame) {
    // Frame 0: 3x2 of index 1 (transparent 3). Frame 1: 2x1 at (1, 1) with disposal 1 and
    // transparent index 0, holding 0 (skipped) and 2.
    const std::string file = Header(3, 2, 2).str() + GraphicControl(3) + Frame(0, 0, 3, 2, {1, 1, 1, 1, 1, 1}) +
                             GraphicControl(0, 1) + Frame(1, 1, 2, 1, {0, 2}) + ";";
    CPixImage image;
    image.Info().frame = 1;
    ASSERT_TRUE(DecodeBytes(image, file, Gif));
    EXPECT_EQ(image.Width(), 3u);
    EXPECT_EQ(image.Height(), 2u);
    EXPECT_EQ(image.Info().backgroundIndex, 3);  // the first frame's
    EXPECT_EQ(IndexFromTop(image, 1, 1), 1);
    EXPECT_EQ(IndexFromTop(image, 2, 1), 2);
    EXPECT_EQ(IndexFromTop(image, 0, 0), 1);

    // Without disposal 1 the frame stands alone, at its offset.
    const std::string plain = Header(3, 2, 2).str() + Frame(0, 0, 3, 2, {1, 1, 1, 1, 1, 1}) +
                              Frame(1, 1, 2, 1, {0, 2}) + ";";
    ASSERT_TRUE(DecodeBytes(image, plain, Gif));
    EXPECT_EQ(image.Width(), 2u);
    EXPECT_EQ(image.Info().xOffset, 1);
    EXPECT_EQ(image.Info().yOffset, 1);
}

TEST(GifDecoder, CanvasModeForOffsetFramesWithoutGlobalTable) {
    // Screen 4x3 with no global table; a 2x2 frame at (1, 1) with a local table, then a 1x1
    // frame at (0, 0) whose graphic control names a transparent index.
    const std::string file = Header(4, 3, 0).str() + Frame(1, 1, 2, 2, {0, 1, 2, 3}, false, 2) +
                             GraphicControl(1) + Frame(0, 0, 1, 1, {3}, false, 2) + ";";
    CPixImage image;
    ASSERT_TRUE(DecodeBytes(image, file, Gif));
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.Width(), 4u);
    EXPECT_EQ(image.Height(), 3u);
    EXPECT_EQ(image.Info().frameCount, 2);
    // Rows counted from the bottom: the canvas's top row is y = 2.
    EXPECT_TRUE(Same(image.PixelColor(0, 2), Rgb(200, 3, 0)));  // second frame
    EXPECT_TRUE(Same(image.PixelColor(1, 1), Rgb(200, 0, 0)));  // first frame, index 0
    EXPECT_TRUE(Same(image.PixelColor(2, 1), Rgb(200, 1, 0)));
    EXPECT_TRUE(Same(image.PixelColor(2, 0), Rgb(200, 3, 0)));
    EXPECT_TRUE(Same(image.PixelColor(3, 0), Rgb(0, 0, 0)));    // never painted
    EXPECT_EQ(image.Info().backgroundIndex, 0);
    EXPECT_TRUE(Same(image.Info().backgroundColor, Rgb(200, 1, 0)));
}

TEST(GifDecoder, DamagedDataFailsSilentlyOrDecodesWhatIsThere) {
    CPixImage image;
    image.SetLastError("old");
    EXPECT_FALSE(DecodeBytes(image, "GIF7a" + Header(1, 1, 1).str().substr(5) + Frame(0, 0, 1, 1, {1}), Gif));
    EXPECT_STREQ(image.LastError(), "");
    EXPECT_FALSE(DecodeBytes(image, "GIF8", Gif));
    EXPECT_FALSE(DecodeBytes(image, Header(1, 1, 1).str() + ";", Gif));  // no frame at all

    // Data cut short: the pixels it reaches are decoded, the rest hold the transparent index. The
    // descriptor is 10 bytes, then the code size and one sub-block with only the first data byte
    // (a clear code, the literal 1 and part of the next code).
    const std::string full = Frame(0, 0, 3, 3, {1, 2, 3, 1, 2, 3, 1, 2, 3});
    const std::string cut = full.substr(0, 11) + '\x01' + full.substr(12, 1) + '\0';
    ASSERT_TRUE(DecodeBytes(image, Header(3, 3, 2).str() + GraphicControl(3) + cut + ";", Gif));
    EXPECT_EQ(IndexFromTop(image, 0, 0), 1);
    EXPECT_EQ(IndexFromTop(image, 1, 0), 3);
    EXPECT_EQ(IndexFromTop(image, 2, 2), 3);
    // The same with the file ending inside the data.
    ASSERT_TRUE(DecodeBytes(image, Header(3, 3, 2).str() + full.substr(0, 13), Gif));
    EXPECT_EQ(IndexFromTop(image, 0, 0), 1);

    // A frame or screen far larger than the data could ever fill is refused.
    EXPECT_FALSE(DecodeBytes(image, Header(3, 3, 2).str() + Frame(0, 0, 30000, 30000, {1}) + ";", Gif));
    EXPECT_FALSE(DecodeBytes(image, Header(20000, 15000, 0).str() + Frame(5, 5, 1, 1, {1}) + ";", Gif));

    // A minimum code size outside 2..9 decodes nothing but the walk goes on to the next frame.
    std::string badSize = Frame(0, 0, 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    badSize[10] = 12;
    const std::string twoFrames = Header(3, 3, 2).str() + badSize + Frame(0, 0, 3, 3, {2, 2, 2, 2, 2, 2, 2, 2, 2}) + ";";
    image.Info().frame = 1;
    ASSERT_TRUE(DecodeBytes(image, twoFrames, Gif));
    EXPECT_EQ(image.Info().frameCount, 2);
    EXPECT_EQ(IndexFromTop(image, 1, 1), 2);

    // A graphic control of the wrong size ends the walk before any frame.
    image.Info().frame = 0;
    Bytes badControl;
    badControl.u8(0x21).u8(0xF9).u8(5).fill(5, 0).u8(0);
    EXPECT_FALSE(DecodeBytes(image, Header(3, 3, 2).str() + badControl.str() + Frame(0, 0, 3, 3, {1}) + ";", Gif));
    EXPECT_EQ(image.Info().frameCount, 0);

    // Application data other than the loop count (XMP and the like) is stepped over.
    Bytes xmp;
    xmp.u8(0x21).u8(0xFF).u8(11).text("XMP DataXMP").u8(4).text("<x/>").u8(0);
    ASSERT_TRUE(DecodeBytes(image, Header(1, 1, 2).str() + xmp.str() + Frame(0, 0, 1, 1, {3}) + ";", Gif));
    EXPECT_EQ(IndexFromTop(image, 0, 0), 3);
}

// ImageMagick's GIFs use the full LZW code range; our decode must match what it reads back.
TEST(GifDecoder, MatchesImageMagick) {
    PIXREEL_REQUIRE_TOOLS(HaveConvert(), "ImageMagick not installed");
    TempDir dir;
    const uint32_t width = 61, height = 37;
    for (uint32_t seed = 1; seed <= 3; ++seed)
        WritePpm(dir.file("in" + std::to_string(seed) + ".ppm"), width, height, TestPattern(width, height, seed));
    const std::string plain = dir.file("plain.gif");
    const std::string interlaced = dir.file("interlaced.gif");
    const std::string few = dir.file("few.gif");
    const std::string animated = dir.file("animated.gif");
    const std::string transparent = dir.file("transparent.gif");
    ASSERT_TRUE(RunConvert(dir.file("in1.ppm") + " " + plain));
    ASSERT_TRUE(RunConvert(dir.file("in2.ppm") + " -interlace GIF " + interlaced));
    ASSERT_TRUE(RunConvert(dir.file("in3.ppm") + " -colors 12 " + few));
    ASSERT_TRUE(RunConvert(dir.file("in1.ppm") + " " + dir.file("in2.ppm") + " " + dir.file("in3.ppm") + " " + animated));
    ASSERT_TRUE(RunConvert(dir.file("in2.ppm") + " -alpha set -channel A -fx 'i<30?1:0' +channel " + transparent));

    for (const std::string& path : {plain, interlaced, few}) {
        SCOPED_TRACE(path);
        CPixImage image;
        ASSERT_TRUE(image.LoadFile(path.c_str(), Gif)) << image.LastError();
        EXPECT_EQ(image.Width(), width);
        EXPECT_EQ(image.Height(), height);
        EXPECT_TRUE(SamePixels(OurPixels(image, false), MagickPixels(dir, path, "rgb"), width, 3));
    }
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        CPixImage image;
        image.Info().frame = frame;
        ASSERT_TRUE(image.LoadFile(animated.c_str(), Gif)) << image.LastError();
        EXPECT_EQ(image.Info().frameCount, 3);
        EXPECT_TRUE(SamePixels(OurPixels(image, false),
                               MagickPixels(dir, animated + "[" + std::to_string(frame) + "]", "rgb"), width, 3));
    }

    // Leave-in-place animation: a smaller, partly transparent second frame at an offset, both
    // frames mapped to one palette. ImageMagick's coalesced second frame is our frame 1.
    const std::string palette = dir.file("palette.gif");
    const std::string layered = dir.file("layered.gif");
    ASSERT_TRUE(RunConvert(dir.file("in3.ppm") + " -colors 64 " + palette));
    ASSERT_TRUE(RunConvert("-dispose None " + dir.file("in3.ppm") + " \\( " + dir.file("in1.ppm") +
                           " -crop 20x9+7+5 -alpha set -channel A -fx 'i<12?1:0' +channel \\) -remap " + palette +
                           " " + layered));
    {
        CPixImage composed;
        composed.Info().frame = 1;
        ASSERT_TRUE(composed.LoadFile(layered.c_str(), Gif)) << composed.LastError();
        EXPECT_EQ(composed.Width(), width);
        const std::string coalesced = MagickPixels(dir, layered, "rgb", "-coalesce");
        ASSERT_EQ(coalesced.size(), 2u * 3 * width * height);
        EXPECT_TRUE(SamePixels(OurPixels(composed, false), coalesced.substr(3 * width * height), width, 3));
    }

    // Transparent pixels: ImageMagick gives them alpha 0; ours carry the transparent index.
    CPixImage image;
    ASSERT_TRUE(image.LoadFile(transparent.c_str(), Gif)) << image.LastError();
    ASSERT_NE(image.Info().backgroundIndex, -1);
    std::string ours = OurPixels(image, true);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            if (IndexFromTop(image, x, y) == image.Info().backgroundIndex)
                ours[4 * (y * width + x) + 3] = 0;
        }
    }
    const std::string theirs = MagickPixels(dir, transparent, "rgba");
    EXPECT_TRUE(SamePixels(ours, theirs, width, 4));
}
