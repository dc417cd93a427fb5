#include <gtest/gtest.h>

#include <vector>

#include "image/Paint.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

constexpr Rgb kRed{255, 0, 0};

// A surface filled with one colour, with room to read pixels back.
struct Surface {
    Surface(int32_t width, int32_t height, Rgb fill) : bytes(static_cast<size_t>(width) * height * 3) {
        device.pixels = bytes.data();
        device.width = width;
        device.height = height;
        device.stride = width * 3;
        for (size_t i = 0; i < bytes.size(); i += 3) {
            bytes[i] = fill.b;
            bytes[i + 1] = fill.g;
            bytes[i + 2] = fill.r;
        }
    }
    Rgb At(int32_t x, int32_t y) const {
        const uint8_t* p = &bytes[static_cast<size_t>(y) * device.stride + 3 * x];
        return {p[2], p[1], p[0]};
    }
    std::vector<uint8_t> bytes;
    PaintSurface device;
};

// Picture colour at column x of row y counted from the top, as a viewer sees it.
Rgb Seen(const CPixImage& image, int64_t x, int64_t yFromTop) {
    const RGBQUAD c = image.PixelColor(x, image.Height() - 1 - yFromTop);
    return {c.rgbRed, c.rgbGreen, c.rgbBlue};
}

// A picture whose every pixel differs from its neighbours; paletted depths use every index.
void MakePicture(CPixImage& image, uint32_t width, uint32_t height, uint32_t depth) {
    ASSERT_NE(image.Allocate(width, height, depth, Bmp), nullptr);
    for (uint32_t i = 0; i < image.PaletteCount(); ++i)
        image.SetPaletteEntry(static_cast<uint8_t>(i), static_cast<uint8_t>(i * 37 + 1), static_cast<uint8_t>(i * 91 + 2),
                              static_cast<uint8_t>(255 - i));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            if (depth == 24)
                image.StoreColor(x, y, RGBQUAD{uint8_t(x * 20 + 5), uint8_t(y * 30 + 7), uint8_t(x * y + 9), 0});
            else
                image.StoreIndex(x, y, static_cast<uint8_t>((x + 3 * y) % image.PaletteCount()));
        }
}

}  // namespace

// At its own size an opaque picture is copied pixel for pixel at (x, y), whatever its depth;
// the surface around it keeps its colour.
TEST(PaintTo, OwnSizeCopiesEveryDepth) {
    for (uint32_t depth : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(depth);
        CPixImage image;
        MakePicture(image, 7, 5, depth);
        Surface surface(12, 9, kRed);
        ASSERT_EQ(PaintTo(image, surface.device, 3, 2, -1, -1), 1);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const bool inside = x >= 3 && x < 10 && y >= 2 && y < 7;
                ASSERT_EQ(surface.At(x, y), inside ? Seen(image, x - 3, y - 2) : kRed) << x << "," << y;
            }
    }
}

// Scaling by nearest neighbour: columns take floor(c * fx), rows height - ceil((d + 1) * fy)
// counted from the bottom, so twice the size repeats every pixel twice, and a 3-row picture
// drawn 2 rows high shows its middle and bottom rows.
TEST(PaintTo, ScaledMapping) {
    struct Case {
        uint32_t depth, width, height;
        int32_t w, h;
        std::vector<int> columns, rows;  // picture column / row from the top for each device one
    };
    const Case cases[] = {
        {24, 2, 2, 4, 4, {0, 0, 1, 1}, {0, 0, 1, 1}},
        {4, 3, 3, 6, 6, {0, 0, 1, 1, 2, 2}, {0, 0, 1, 1, 2, 2}},
        {24, 3, 3, 2, 2, {0, 1}, {1, 2}},
        {8, 4, 2, 3, 5, {0, 1, 2}, {0, 0, 1, 1, 1}},
        {1, 9, 1, 3, 1, {0, 3, 6}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.depth << "-bit " << c.width << "x" << c.height << " -> " << c.w << "x" << c.h);
        CPixImage image;
        MakePicture(image, c.width, c.height, c.depth);
        Surface surface(c.w + 2, c.h + 2, kRed);
        ASSERT_EQ(PaintTo(image, surface.device, 1, 1, c.w, c.h), 1);
        for (int32_t y = 0; y < c.h; ++y)
            for (int32_t x = 0; x < c.w; ++x)
                ASSERT_EQ(surface.At(x + 1, y + 1), Seen(image, c.columns[x], c.rows[y])) << x << "," << y;
        EXPECT_EQ(surface.At(0, 0), kRed);
        EXPECT_EQ(surface.At(c.w + 1, c.h + 1), kRed);
    }
}

// Transparency and opacity blend the picture over what the surface shows.
TEST(PaintTo, Blending) {
    // A GIF-like 8-bit picture whose index 5 is transparent shows red where it is used.
    CPixImage gif(Gif);
    ASSERT_NE(gif.Allocate(2, 1, 8, Gif), nullptr);
    gif.SetPaletteEntry(5, 0, 0, 255);
    gif.SetPaletteEntry(6, 0, 255, 0);
    gif.StoreIndex(0, 0, 5);
    gif.StoreIndex(1, 0, 6);
    gif.Info().backgroundIndex = 5;
    Surface over(2, 1, kRed);
    ASSERT_EQ(PaintTo(gif, over.device, 0, 0, -1, -1), 1);
    EXPECT_EQ(over.At(0, 0), kRed);
    EXPECT_EQ(over.At(1, 0), (Rgb{0, 255, 0}));

    // Alpha plane at 255 and alpha max 127: opacity 127, each channel (s * 127 + d * 128) div 256.
    CPixImage photo;
    ASSERT_NE(photo.Allocate(2, 1, 24, Png), nullptr);
    photo.StoreColor(0, 0, RGBQUAD{10, 100, 200, 0});
    photo.StoreColor(1, 0, RGBQUAD{10, 100, 200, 0});
    ASSERT_TRUE(photo.AlphaAllocate());
    photo.StoreAlpha(0, 0, 255);  // pixel 1 keeps alpha 0: skipped
    photo.Info().alphaMax = 127;
    Surface gray(2, 1, Rgb{100, 50, 250});
    ASSERT_EQ(PaintTo(photo, gray.device, 0, 0, -1, -1), 1);
    EXPECT_EQ(gray.At(0, 0), (Rgb{(200 * 127 + 100 * 128) / 256, (100 * 127 + 50 * 128) / 256, (10 * 127 + 250 * 128) / 256}));
    EXPECT_EQ(gray.At(1, 0), (Rgb{100, 50, 250}));

    // Alpha max alone does not blend, at the own size or scaled.
    photo.AlphaRelease();
    for (int32_t size : {-1, 4}) {
        Surface plain(4, 4, kRed);
        ASSERT_EQ(PaintTo(photo, plain.device, 0, 0, size, size), 1);
        EXPECT_EQ(plain.At(0, 0), (Rgb{200, 100, 10}));
    }

    // Palette opacity: entry reserved 127 with the alpha palette enabled gives opacity 127.
    gif.Info().backgroundIndex = -1;
    gif.Info().alphaPaletteEnabled = true;
    gif.SetPaletteEntry(6, 0, 255, 0, 127);
    Surface half(2, 1, kRed);
    ASSERT_EQ(PaintTo(gif, half.device, 0, 0, -1, -1), 1);
    EXPECT_EQ(half.At(1, 0), (Rgb{255 * 128 / 256, 255 * 127 / 256, 0}));

    // A true-colour picture is transparent where it has the background colour.
    photo.Info().alphaMax = 255;
    photo.Info().backgroundIndex = 0;
    photo.Info().backgroundColor = RGBQUAD{10, 100, 200, 0};
    photo.StoreColor(1, 0, RGBQUAD{1, 2, 3, 0});
    Surface keyed(2, 1, kRed);
    ASSERT_EQ(PaintTo(photo, keyed.device, 0, 0, -1, -1), 1);
    EXPECT_EQ(keyed.At(0, 0), kRed);
    EXPECT_EQ(keyed.At(1, 0), (Rgb{3, 2, 1}));
}

// Only the visible part changes: the device's clip box, the caller's rectangle and the surface's
// own edges all bound the drawing, on every path.
TEST(PaintTo, ClippedDrawingChangesOnlyTheVisiblePart) {
    CPixImage image;
    MakePicture(image, 6, 6, 24);
    const RECT callerClip{2, 0, 20, 3};
    for (int blended = 0; blended < 2; ++blended)
        for (int32_t size : {-1, 12}) {
            SCOPED_TRACE(testing::Message() << "blended " << blended << " size " << size);
            image.Info().alphaPaletteEnabled = blended != 0;
            Surface surface(8, 8, kRed);
            surface.device.clip = RECT{0, 1, 5, 8};
            ASSERT_EQ(PaintTo(image, surface.device, -1, -2, size, size, &callerClip), 1);
            const int32_t scale = size < 0 ? 1 : 2;
            for (int32_t y = 0; y < 8; ++y)
                for (int32_t x = 0; x < 8; ++x) {
                    const bool visible = x >= 2 && x < 5 && y >= 1 && y < 3;
                    ASSERT_EQ(surface.At(x, y), visible ? Seen(image, (x + 1) / scale, (y + 2) / scale) : kRed)
                        << x << "," << y;
                }
            // Entirely outside: drawn, but nothing changes.
            Surface untouched(4, 4, kRed);
            ASSERT_EQ(PaintTo(image, untouched.device, 10, 10, size, size), 1);
            EXPECT_EQ(untouched.bytes, Surface(4, 4, kRed).bytes);
        }
}

TEST(PaintTo, NothingToDrawReturnsZero) {
    CPixImage image;
    Surface surface(4, 4, kRed);
    EXPECT_EQ(PaintTo(image, surface.device, 0, 0, -1, -1), 0);  // empty image
    MakePicture(image, 2, 2, 24);
    EXPECT_EQ(PaintTo(image, surface.device, 0, 0, 0, 2), 0);
    EXPECT_EQ(PaintTo(image, surface.device, 0, 0, 2, 0), 0);
    PaintSurface missing;
    EXPECT_EQ(PaintTo(image, missing, 0, 0, -1, -1), 0);
    image.Info().enabled = false;
    EXPECT_EQ(PaintTo(image, surface.device, 0, 0, -1, -1), 0);
    EXPECT_EQ(surface.bytes, Surface(4, 4, kRed).bytes);
}

// A photo-sized picture in a preview-sized box fills the box with the picture's colour.
TEST(PaintTo, LargePictureInSmallBox) {
    CPixImage image;
    ASSERT_NE(image.Allocate(4000, 3000, 24, Jpeg), nullptr);
    std::fill_n(image.PixelBits(), image.Header().biSizeImage, 0x40);
    Surface surface(200, 150, kRed);
    ASSERT_EQ(PaintTo(image, surface.device, 0, 0, 200, 150), 1);
    EXPECT_EQ(surface.At(0, 0), (Rgb{0x40, 0x40, 0x40}));
    EXPECT_EQ(surface.At(199, 149), (Rgb{0x40, 0x40, 0x40}));
}
