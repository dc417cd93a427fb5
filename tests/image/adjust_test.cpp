#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "image/PixImage.h"

namespace {

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}

void MakeRandom(CPixImage& image, uint32_t width, uint32_t height, uint32_t depth, uint32_t seed) {
    std::mt19937 random(seed);
    ASSERT_NE(image.Allocate(width, height, depth, Bmp), nullptr);
    for (uint32_t i = 0; i < image.PaletteCount(); ++i)
        image.SetPaletteEntry(static_cast<uint8_t>(i), static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                              static_cast<uint8_t>(random()));
    // Every byte, padding included, so that what happens to padding is seen too.
    for (size_t i = 0; i < image.Header().biSizeImage; ++i)
        image.PixelBits()[i] = static_cast<uint8_t>(random());
}

CPixImage* Solid(CPixImage& image, uint32_t width, uint32_t height, RGBQUAD color) {
    image.Allocate(width, height, 24, Jpeg);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.StoreColor(x, y, color);
    return &image;
}

// The brightness / contrast rule for one channel, as written: trunc, then clamp.
uint8_t RefLight(int b, int k, int v) {
    float c = k * 0.01f;
    int value = static_cast<int>(b + c * (v - 128) + 128);
    return static_cast<uint8_t>(value > 255 ? 255 : value < 0 ? 0 : value);
}

int RefGray(RGBQUAD c) {
    return (30 * c.rgbRed + 59 * c.rgbGreen + 11 * c.rgbBlue) / 100;
}

}  // namespace

TEST(AdjustLight, DocumentedValues) {
    CPixImage image;
    Solid(image, 3, 2, Rgb(250, 10, 128));
    CPixImage original(image, true, false, false);
    ASSERT_TRUE(image.AdjustLight(0, 100));
    EXPECT_EQ(std::memcmp(image.PixelBits(), original.PixelBits(), image.Header().biSizeImage), 0);

    ASSERT_TRUE(image.AdjustLight(40, 100));
    RGBQUAD p = image.PixelColor(2, 1);
    EXPECT_EQ(p.rgbRed, 255);
    EXPECT_EQ(p.rgbGreen, 50);
    EXPECT_EQ(p.rgbBlue, 168);

    image.StoreColor(0, 0, Rgb(0, 128, 255));
    ASSERT_TRUE(image.AdjustLight(0, 50));
    p = image.PixelColor(0, 0);
    EXPECT_EQ(p.rgbRed, 64);
    EXPECT_EQ(p.rgbGreen, 128);
    EXPECT_EQ(p.rgbBlue, 191);  // trunc(63.5 + 128)

    ASSERT_TRUE(image.AdjustLight(-300, 100));
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            p = image.PixelColor(x, y);
            EXPECT_EQ(p.rgbRed + p.rgbGreen + p.rgbBlue, 0);
        }

    // Contrast 0 flattens to b + 128; a negative contrast inverts around 128.
    Solid(image, 1, 1, Rgb(0, 77, 255));
    ASSERT_TRUE(image.AdjustLight(10, 0));
    p = image.PixelColor(0, 0);
    EXPECT_EQ(p.rgbRed, 138);
    EXPECT_EQ(p.rgbBlue, 138);
    Solid(image, 1, 1, Rgb(0, 100, 255));
    ASSERT_TRUE(image.AdjustLight(0, -100));
    p = image.PixelColor(0, 0);
    EXPECT_EQ(p.rgbRed, 255);
    EXPECT_EQ(p.rgbGreen, 156);
    EXPECT_EQ(p.rgbBlue, 1);

    // Absurd arguments clamp instead of overflowing.
    ASSERT_TRUE(image.AdjustLight(INT32_MAX, INT32_MAX));
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 255);
    ASSERT_TRUE(image.AdjustLight(INT32_MIN, 100));
    EXPECT_EQ(image.PixelColor(0, 0).rgbRed, 0);

    CPixImage empty;
    EXPECT_FALSE(empty.AdjustLight(10, 100));
}

TEST(AdjustLight, MatchesThePerPixelRule) {
    const int settings[][2] = {{0, 100}, {40, 100}, {-17, 73}, {5, 250}, {200, 512}, {-255, 0}, {33, -150}, {0, 1}};
    uint32_t seed = 10;
    for (const auto& s : settings) {
        CPixImage image;
        MakeRandom(image, 13, 7, 24, ++seed);
        CPixImage expected(image, true, false, false);
        for (uint32_t y = 0; y < 7; ++y)
            for (uint32_t x = 0; x < 13; ++x) {
                RGBQUAD c = expected.PixelColor(x, y);
                expected.StoreColor(x, y, RGBQUAD{RefLight(s[0], s[1], c.rgbBlue), RefLight(s[0], s[1], c.rgbGreen),
                                                  RefLight(s[0], s[1], c.rgbRed), 0});
            }
        ASSERT_TRUE(image.AdjustLight(s[0], s[1]));
        // Whole rows compared: the row padding is left alone.
        EXPECT_EQ(std::memcmp(image.PixelBits(), expected.PixelBits(), image.Header().biSizeImage), 0)
            << s[0] << "," << s[1];
    }
}

TEST(AdjustLight, PalettedImagesChangeOnlyThePalette) {
    CPixImage image;
    MakeRandom(image, 9, 5, 8, 3);
    image.SetPaletteEntry(7, 10, 20, 30);
    image.SetPaletteEntry(9, 10, 20, 30);
    image.StoreIndex(0, 0, 7);
    image.StoreIndex(1, 0, 9);
    CPixImage original(image, true, false, false);
    ASSERT_TRUE(image.AdjustLight(25, 140));
    EXPECT_EQ(std::memcmp(image.PixelBits(), original.PixelBits(), image.Header().biSizeImage), 0);
    EXPECT_EQ(image.PixelIndex(0, 0), 7);
    EXPECT_EQ(image.PixelIndex(1, 0), 9);
    RGBQUAD a = image.PixelColor(0, 0), b = image.PixelColor(1, 0);
    EXPECT_EQ(std::memcmp(&a, &b, 4), 0);
    EXPECT_EQ(a.rgbRed, RefLight(25, 140, 10));
    for (uint32_t i = 0; i < 256; ++i) {
        RGBQUAD before = original.PaletteEntry(static_cast<uint8_t>(i));
        RGBQUAD after = image.PaletteEntry(static_cast<uint8_t>(i));
        ASSERT_EQ(after.rgbBlue, RefLight(25, 140, before.rgbBlue)) << i;
        ASSERT_EQ(after.rgbGreen, RefLight(25, 140, before.rgbGreen)) << i;
    }
}

TEST(ToGray, TrueColourBecomesEightBitGray) {
    CPixImage image;
    image.Allocate(5, 1, 24, Jpeg);
    image.StoreColor(0, 0, Rgb(255, 0, 0));
    image.StoreColor(1, 0, Rgb(0, 255, 0));
    image.StoreColor(2, 0, Rgb(0, 0, 255));
    image.StoreColor(3, 0, Rgb(255, 255, 255));
    image.StoreColor(4, 0, Rgb(0, 0, 0));
    image.SetHorizontalDpi(300);
    image.Info().backgroundColor = Rgb(1, 2, 3);
    ASSERT_TRUE(image.AlphaAllocate());
    image.StoreAlpha(2, 0, 99);
    ASSERT_TRUE(image.ToGray());
    ASSERT_EQ(image.BitsPerPixel(), 8u);
    EXPECT_EQ(image.Type(), Jpeg);
    const int grays[5] = {76, 150, 28, 255, 0};
    for (uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(image.PixelIndex(x, 0), grays[x]) << x;
    // Gray ramp palette, fresh information (72 dpi, no transparency), alpha kept.
    EXPECT_EQ(image.PaletteCount(), 256u);
    EXPECT_EQ(image.PaletteEntry(150).rgbRed, 150);
    EXPECT_EQ(image.Info().dpiX, 72);
    EXPECT_EQ(image.Info().backgroundColor.rgbRed, 0);
    EXPECT_EQ(image.AlphaValue(2, 0), 99);
    // Padding bytes are zero, not left over memory.
    EXPECT_EQ(image.PixelBits()[5], 0);

    CPixImage empty;
    EXPECT_FALSE(empty.ToGray());
}

TEST(ToGray, PalettedImages) {
    // 1 bit: black and white become 0 and 255 in a new 8-bit image.
    CPixImage mono;
    mono.Allocate(10, 2, 1, Bmp);
    mono.SetPaletteEntry(0, 0, 0, 0);
    mono.SetPaletteEntry(1, 255, 255, 255);
    for (uint32_t x = 0; x < 10; ++x) {
        mono.StoreIndex(x, 0, x % 2);
        mono.StoreIndex(x, 1, 1);
    }
    ASSERT_TRUE(mono.ToGray());
    ASSERT_EQ(mono.BitsPerPixel(), 8u);
    EXPECT_EQ(mono.PixelIndex(0, 0), 0);
    EXPECT_EQ(mono.PixelIndex(1, 0), 255);
    EXPECT_EQ(mono.PixelIndex(9, 1), 255);

    // 8 bits in place: every byte including padding maps through its entry's gray; the
    // transparent index becomes the gray of its entry; the palette becomes the gray ramp even
    // when the decoder had shortened it.
    CPixImage image;
    MakeRandom(image, 7, 3, 8, 21);
    image.SetPaletteEntry(5, 255, 0, 0);
    image.Info().backgroundIndex = 5;
    image.Header().biClrUsed = 200;
    image.SetHorizontalDpi(150);
    CPixImage original(image, true, false, false);
    ASSERT_TRUE(image.ToGray());
    EXPECT_EQ(image.Info().backgroundIndex, 76);
    EXPECT_EQ(image.Info().dpiX, 150);
    EXPECT_EQ(image.PaletteCount(), 256u);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(image.PaletteEntry(static_cast<uint8_t>(i)).rgbBlue, i);
    for (size_t i = 0; i < image.Header().biSizeImage; ++i) {
        uint8_t index = original.PixelBits()[i];
        ASSERT_EQ(image.PixelBits()[i], RefGray(original.PaletteEntry(index))) << i;
    }

    // 4 bits, against the per-pixel rule.
    CPixImage nibbles;
    MakeRandom(nibbles, 9, 4, 4, 22);
    CPixImage source(nibbles, true, false, false);
    ASSERT_TRUE(nibbles.ToGray());
    ASSERT_EQ(nibbles.BitsPerPixel(), 8u);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 9; ++x)
            ASSERT_EQ(nibbles.PixelIndex(x, y), RefGray(source.PixelColor(x, y))) << x << "," << y;
}

TEST(MeanGray, Values) {
    CPixImage image;
    EXPECT_EQ(image.MeanGray(), 0.0f);
    EXPECT_EQ(Solid(image, 4, 3, Rgb(255, 255, 255))->MeanGray(), 255.0f);
    EXPECT_EQ(Solid(image, 5, 5, Rgb(255, 0, 0))->MeanGray(), 76.0f);
    EXPECT_EQ(image.BitsPerPixel(), 24u);  // the image itself is not changed

    Solid(image, 2, 1, Rgb(0, 0, 0));
    image.StoreColor(1, 0, Rgb(255, 255, 255));
    EXPECT_EQ(image.MeanGray(), 127.5f);

    // Every depth against the mean of the per-pixel gray levels.
    for (uint32_t depth : {1u, 4u, 8u, 24u}) {
        CPixImage random;
        MakeRandom(random, 17, 6, depth, 40 + depth);
        double sum = 0;
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 17; ++x)
                sum += RefGray(random.PixelColor(x, y));
        EXPECT_FLOAT_EQ(random.MeanGray(), static_cast<float>(sum / 17 / 6)) << depth;
    }
}
