#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/PixImage.h"

// The row-based operations are checked against straightforward per-pixel versions written here
// with PixelColor / StoreColor / PixelIndex / StoreIndex, on random pictures of every depth.

namespace {

RGBQUAD Bgr(uint8_t b, uint8_t g, uint8_t r) {
    return RGBQUAD{b, g, r, 0};
}

// A random picture; paletted ones get a random palette with some repeated colours (so that the
// first of two equal entries must win in colour matching) and optionally a shortened palette.
void MakeRandom(CPixImage& image, uint32_t width, uint32_t height, uint32_t depth, bool alpha, uint32_t seed,
                uint32_t paletteCount = 0) {
    std::mt19937 random(seed);
    ASSERT_NE(image.Allocate(width, height, depth, Png), nullptr);
    uint32_t entries = image.PaletteCount();
    for (uint32_t i = 0; i < entries; ++i) {
        if (i >= 4 && random() % 5 == 0)
            image.SetPaletteEntry(static_cast<uint8_t>(i), image.PaletteEntry(static_cast<uint8_t>(random() % i)));
        else
            image.SetPaletteEntry(static_cast<uint8_t>(i), static_cast<uint8_t>(random()),
                                  static_cast<uint8_t>(random()), static_cast<uint8_t>(random()));
    }
    if (paletteCount)
        image.Header().biClrUsed = paletteCount;
    uint32_t indices = paletteCount ? paletteCount : entries;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            if (depth == 24)
                image.StoreColor(x, y, Bgr(static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                           static_cast<uint8_t>(random())));
            else
                image.StoreIndex(x, y, static_cast<uint8_t>(random() % indices));
        }
    }
    if (alpha) {
        ASSERT_TRUE(image.AlphaAllocate());
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                image.StoreAlpha(x, y, static_cast<uint8_t>(random()));
    }
    image.SetHorizontalDpi(300);
    image.Info().backgroundColor = Bgr(11, 22, 33);
}

// Compares two pictures pixel by pixel (not the row padding).
::testing::AssertionResult SamePixels(const CPixImage& expected, const CPixImage& actual) {
    if (expected.Width() != actual.Width() || expected.Height() != actual.Height() ||
        expected.BitsPerPixel() != actual.BitsPerPixel())
        return ::testing::AssertionFailure()
               << "size " << actual.Width() << "x" << actual.Height() << "x" << actual.BitsPerPixel() << ", expected "
               << expected.Width() << "x" << expected.Height() << "x" << expected.BitsPerPixel();
    if (expected.PaletteCount() != actual.PaletteCount() ||
        (expected.PaletteCount() &&
         std::memcmp(expected.PaletteEntries(), actual.PaletteEntries(), expected.PaletteBytes()) != 0))
        return ::testing::AssertionFailure() << "palettes differ";
    if (expected.HasAlpha() != actual.HasAlpha())
        return ::testing::AssertionFailure() << "alpha plane present " << actual.HasAlpha();
    for (uint32_t y = 0; y < expected.Height(); ++y) {
        for (uint32_t x = 0; x < expected.Width(); ++x) {
            RGBQUAD e = expected.PixelColor(x, y), a = actual.PixelColor(x, y);
            if (expected.BitsPerPixel() < 24 && expected.PixelIndex(x, y) != actual.PixelIndex(x, y))
                return ::testing::AssertionFailure() << "index at " << x << "," << y << ": "
                                                     << int(actual.PixelIndex(x, y)) << " expected "
                                                     << int(expected.PixelIndex(x, y));
            if (e.rgbBlue != a.rgbBlue || e.rgbGreen != a.rgbGreen || e.rgbRed != a.rgbRed)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": " << int(a.rgbRed) << "," << int(a.rgbGreen) << ","
                       << int(a.rgbBlue) << " expected " << int(e.rgbRed) << "," << int(e.rgbGreen) << ","
                       << int(e.rgbBlue);
            if (expected.AlphaValue(x, y) != actual.AlphaValue(x, y))
                return ::testing::AssertionFailure() << "alpha at " << x << "," << y;
        }
    }
    return ::testing::AssertionSuccess();
}

// --- Per-pixel reference versions ---------------------------------------------------------------

// The result image: the source's ImageInfo, depth, type and palette (its own size) at a new size.
void RefResult(const CPixImage& source, uint32_t width, uint32_t height, CPixImage& result) {
    result.CopyInfoFrom(source);
    ASSERT_NE(result.Allocate(width, height, source.BitsPerPixel(), source.Type()), nullptr);
    if (source.BitsPerPixel() < 24) {
        result.LoadPaletteQuads(source.PaletteEntries(), 256);
        result.Header().biClrUsed = source.PaletteCount();
    }
    if (source.HasAlpha()) {
        ASSERT_TRUE(result.AlphaAllocate());
    }
}

void RefScaleAlpha(const CPixImage& source, CPixImage& result, float fx, float fy) {
    if (!source.HasAlpha())
        return;
    for (uint32_t y = 0; y < result.Height(); ++y)
        for (uint32_t x = 0; x < result.Width(); ++x)
            result.StoreAlpha(x, y, source.AlphaValue(static_cast<int>(x * fx), static_cast<int>(y * fy)));
}

void RefScaleNearest(const CPixImage& source, uint32_t W, uint32_t H, CPixImage& result) {
    float fx = static_cast<float>(source.Width()) / W, fy = static_cast<float>(source.Height()) / H;
    RefResult(source, W, H, result);
    for (uint32_t y = 0; y < H; ++y) {
        int sy = static_cast<int>(y * fy);
        for (uint32_t x = 0; x < W; ++x)
            result.StoreColor(x, y, source.PixelColor(static_cast<int>(x * fx), sy));
    }
    RefScaleAlpha(source, result, fx, fy);
}

void RefScaleBilinear(const CPixImage& source, uint32_t W, uint32_t H, CPixImage& result) {
    float fx = static_cast<float>(source.Width()) / W, fy = static_cast<float>(source.Height()) / H;
    int width = static_cast<int>(source.Width()), height = static_cast<int>(source.Height());
    RefResult(source, W, H, result);
    for (uint32_t y = 0; y < H; ++y) {
        float fy1 = y * fy;
        int iy = static_cast<int>(fy1);
        int iy1 = std::min(height - 1, iy + 1);
        float dy = fy1 - iy;
        for (uint32_t x = 0; x < W; ++x) {
            float fx1 = x * fx;
            int ix = static_cast<int>(fx1);
            int ix1 = std::min(width - 1, ix + 1);
            float dx = fx1 - ix;
            RGBQUAD c1 = source.PixelColor(ix, iy), c2 = source.PixelColor(ix1, iy);
            RGBQUAD c3 = source.PixelColor(ix, iy1), c4 = source.PixelColor(ix1, iy1);
            uint8_t out[3];
            uint8_t a1[3] = {c1.rgbBlue, c1.rgbGreen, c1.rgbRed}, a2[3] = {c2.rgbBlue, c2.rgbGreen, c2.rgbRed};
            uint8_t a3[3] = {c3.rgbBlue, c3.rgbGreen, c3.rgbRed}, a4[3] = {c4.rgbBlue, c4.rgbGreen, c4.rgbRed};
            for (int ch = 0; ch < 3; ++ch) {
                float t = (1 - dy) * a1[ch] + dy * a3[ch];
                float u = (1 - dy) * a2[ch] + dy * a4[ch];
                out[ch] = static_cast<uint8_t>(static_cast<int>((1 - dx) * t + dx * u));
            }
            result.StoreColor(x, y, Bgr(out[0], out[1], out[2]));
        }
    }
    RefScaleAlpha(source, result, fx, fy);
}

// Area averaging exactly as described: two accumulators of 3W + 3 integers, thresholds in single
// precision, weights in thousandths.
void RefScaleArea(const CPixImage& source, uint32_t W, uint32_t H, CPixImage& result) {
    float fx = static_cast<float>(source.Width()) / W, fy = static_cast<float>(source.Height()) / H;
    RefResult(source, W, H, result);
    std::vector<int64_t> a(3 * W + 3), b(3 * W + 3);
    int64_t* cur = a.data();
    int64_t* next = b.data();
    int64_t D = static_cast<int64_t>(fx * fy * 1000);
    float ty = fy - 1;
    uint32_t outRow = 0;
    auto put = [&](uint32_t col, const int64_t* acc) {
        result.StoreColor(col, outRow, Bgr(static_cast<uint8_t>(acc[0] / D), static_cast<uint8_t>(acc[1] / D),
                                           static_cast<uint8_t>(acc[2] / D)));
    };
    for (uint32_t y = 0; y < source.Height(); ++y) {
        float tx = fx - 1;
        uint32_t col = 0, written = 0;
        int64_t ey = y < ty ? 0 : static_cast<int64_t>((y - ty) * 1000);
        for (uint32_t x = 0; x < source.Width(); ++x) {
            RGBQUAD q = source.PixelColor(x, y);
            int64_t p[3] = {q.rgbBlue, q.rgbGreen, q.rgbRed};
            ASSERT_LE(col, W);
            if (y < ty) {
                if (x < tx) {
                    for (int ch = 0; ch < 3; ++ch)
                        cur[3 * col + ch] += p[ch] * 1000;
                } else {
                    int64_t ex = static_cast<int64_t>((x - tx) * 1000);
                    for (int ch = 0; ch < 3; ++ch) {
                        cur[3 * col + ch] += p[ch] * (1000 - ex);
                        cur[3 * (col + 1) + ch] += p[ch] * ex;
                    }
                    ++col;
                    tx += fx;
                }
            } else if (x < tx) {
                for (int ch = 0; ch < 3; ++ch) {
                    cur[3 * col + ch] += p[ch] * (1000 - ey);
                    next[3 * col + ch] += p[ch] * ey;
                }
            } else {
                int64_t ex = static_cast<int64_t>((x - tx) * 1000);
                for (int ch = 0; ch < 3; ++ch)
                    cur[3 * col + ch] += p[ch] * (1000 - ey) * (1000 - ex) / 1000;
                put(col, cur + 3 * col);
                ++written;
                for (int ch = 0; ch < 3; ++ch) {
                    next[3 * col + ch] += p[ch] * (1000 - ex) * ey / 1000;
                    cur[3 * (col + 1) + ch] += p[ch] * (1000 - ey) * ex / 1000;
                    next[3 * (col + 1) + ch] = p[ch] * ey * ex / 1000;
                }
                ++col;
                tx += fx;
            }
        }
        if (y >= ty) {
            if (written < W)
                put(col, cur + 3 * col);
            std::swap(cur, next);
            next[0] = next[1] = next[2] = 0;
            ty += fy;
            ++outRow;
        }
    }
    if (outRow < H)
        for (uint32_t col = 0; col < W; ++col)
            put(col, cur + 3 * col);
    RefScaleAlpha(source, result, fx, fy);
}

void RefScale(const CPixImage& source, uint32_t W, uint32_t H, int mode, CPixImage& result) {
    if (mode)
        RefScaleNearest(source, W, H, result);
    else if (W < source.Width() && H < source.Height() && source.BitsPerPixel() == 24)
        RefScaleArea(source, W, H, result);
    else
        RefScaleBilinear(source, W, H, result);
}

void RefRotate(const CPixImage& source, float angle, CPixImage& result) {
    double a = -angle * std::acos(0.0) / 90;
    double c = std::cos(a), s = std::sin(a);
    int w = static_cast<int>(source.Width()), h = static_cast<int>(source.Height());
    int px[4] = {0, w, 0, w - 1}, py[4] = {0, 0, h, h};
    int minX = INT32_MAX, maxX = INT32_MIN, minY = INT32_MAX, maxY = INT32_MIN;
    for (int i = 0; i < 4; ++i) {
        int rx = static_cast<int>(px[i] * c - py[i] * s);
        int ry = static_cast<int>(px[i] * s + py[i] * c);
        minX = std::min(minX, rx);
        maxX = std::max(maxX, rx);
        minY = std::min(minY, ry);
        maxY = std::max(maxY, ry);
    }
    RefResult(source, maxX - minX, maxY - minY, result);
    for (int y = minY; y <= maxY; ++y) {
        for (int x = minX; x <= maxX; ++x) {
            int sx = static_cast<int>(x * c + y * s - 0.5);
            int sy = static_cast<int>(y * c - x * s - 0.5);
            if (source.Header().biClrUsed != 0)
                result.StoreIndex(x - minX, y - minY, source.PixelIndex(sx, sy));
            else
                result.StoreColor(x - minX, y - minY, source.PixelColor(sx, sy));
            result.StoreAlpha(x - minX, y - minY, source.AlphaValue(sx, sy));
        }
    }
}

// A generic transform: result (x, y) is source from(x, y), size given.
template <typename From>
void RefMap(const CPixImage& source, uint32_t W, uint32_t H, CPixImage& result, From from) {
    RefResult(source, W, H, result);
    for (uint32_t y = 0; y < H; ++y) {
        for (uint32_t x = 0; x < W; ++x) {
            auto [sx, sy] = from(x, y);
            if (source.BitsPerPixel() < 24)
                result.StoreIndex(x, y, source.PixelIndex(sx, sy));
            else
                result.StoreColor(x, y, source.PixelColor(sx, sy));
            result.StoreAlpha(x, y, source.AlphaValue(sx, sy));
        }
    }
}

struct Shape {
    uint32_t width, height;
};

const uint32_t kDepths[] = {1, 4, 8, 24};
const Shape kSources[] = {{1, 1}, {7, 5}, {13, 9}, {33, 17}, {10, 2}, {150, 70}};

std::string Describe(uint32_t depth, bool alpha, Shape from) {
    return std::to_string(from.width) + "x" + std::to_string(from.height) + "x" + std::to_string(depth) +
           (alpha ? " with alpha" : "");
}

}  // namespace

// --- Reference comparisons ----------------------------------------------------------------------

TEST(GeometryReference, ScaleToMatchesPerPixelVersionInEveryMode) {
    const Shape targets[] = {{1, 1}, {3, 2}, {5, 4}, {6, 4}, {20, 11}, {4, 30}, {31, 3}, {64, 40}};
    uint32_t seed = 1;
    for (uint32_t depth : kDepths) {
        for (bool alpha : {false, true}) {
            for (Shape from : kSources) {
                for (Shape to : targets) {
                    for (int mode : {0, 1}) {
                        CPixImage source;
                        MakeRandom(source, from.width, from.height, depth, alpha, ++seed);
                        CPixImage expected;
                        RefScale(source, to.width, to.height, mode, expected);
                        CPixImage actual(source, true, false, true);
                        ASSERT_TRUE(actual.ScaleTo(to.width, to.height, mode));
                        if (to.width == from.width && to.height == from.height)
                            continue;
                        EXPECT_TRUE(SamePixels(expected, actual))
                            << Describe(depth, alpha, from) << " to " << to.width << "x" << to.height << " mode "
                            << mode;
                        EXPECT_EQ(actual.Info().dpiX, 300);
                        EXPECT_EQ(actual.Header().biXPelsPerMeter, 11811);
                    }
                }
            }
        }
    }
}

TEST(GeometryReference, AreaAveragingOnLargerPictures) {
    // Ratios whose thresholds drift in single precision over many columns and rows.
    const Shape cases[][2] = {{{640, 480}, {213, 157}}, {{1001, 37}, {1000, 36}}, {{300, 200}, {299, 3}},
                              {{97, 89}, {2, 88}},      {{4000, 6}, {1280, 5}}};
    uint32_t seed = 100;
    for (const auto& c : cases) {
        CPixImage source;
        MakeRandom(source, c[0].width, c[0].height, 24, true, ++seed);
        CPixImage expected;
        RefScaleArea(source, c[1].width, c[1].height, expected);
        CPixImage actual(source, true, false, true);
        ASSERT_TRUE(actual.ScaleTo(c[1].width, c[1].height, 0));
        EXPECT_TRUE(SamePixels(expected, actual)) << c[0].width << "x" << c[0].height;
    }
}

TEST(GeometryReference, AreaAveragingSurvivesThresholdDrift) {
    // Shrinking 8195 to 8193 crosses one column (or row) boundary more than the output has,
    // because the single-precision thresholds drift; nothing may be written past the result and
    // a flat picture must stay flat.
    const Shape cases[][2] = {{{8195, 3}, {8193, 2}}, {{3, 8195}, {2, 8193}}};
    for (const auto& c : cases) {
        CPixImage image;
        image.Allocate(c[0].width, c[0].height, 24, Bmp);
        for (uint32_t y = 0; y < c[0].height; ++y)
            for (uint32_t x = 0; x < c[0].width; ++x)
                image.StoreColor(x, y, Bgr(200, 100, 7));
        ASSERT_TRUE(image.ScaleTo(c[1].width, c[1].height, 0));
        for (uint32_t y = 0; y < c[1].height; ++y)
            for (uint32_t x = 0; x < c[1].width; ++x) {
                RGBQUAD p = image.PixelColor(x, y);
                // Truncated thousandths may lose one level, never more.
                ASSERT_TRUE(p.rgbBlue == 200 || p.rgbBlue == 199) << x << "," << y;
                ASSERT_TRUE(p.rgbGreen == 100 || p.rgbGreen == 99) << x << "," << y;
                ASSERT_TRUE(p.rgbRed == 7 || p.rgbRed == 6) << x << "," << y;
            }
    }
}

TEST(GeometryReference, PalettedScaleWithShortenedPalette) {
    // A decoder may shorten the palette; colours are matched only against the entries in use.
    for (int mode : {0, 1}) {
        CPixImage source;
        MakeRandom(source, 23, 17, 8, false, 7, 40);
        CPixImage expected;
        RefScale(source, 30, 9, mode, expected);
        CPixImage actual(source, true, false, false);
        ASSERT_TRUE(actual.ScaleTo(30, 9, mode));
        EXPECT_TRUE(SamePixels(expected, actual));
        EXPECT_EQ(actual.PaletteCount(), 40u);
        for (uint32_t y = 0; y < 9; ++y)
            for (uint32_t x = 0; x < 30; ++x)
                ASSERT_LT(actual.PixelIndex(x, y), 40);
    }
}

TEST(GeometryReference, RotateFlipMirrorTurnMatchPerPixelVersions) {
    const float angles[] = {0.0f, 90.0f, -90.0f, 180.0f, 270.0f, 30.0f, -45.0f, 12.5f, 359.0f, 720.0f};
    uint32_t seed = 500;
    for (uint32_t depth : kDepths) {
        for (bool alpha : {false, true}) {
            for (Shape from : kSources) {
                CPixImage source;
                MakeRandom(source, from.width, from.height, depth, alpha, ++seed);
                if (depth < 24 && seed % 2)
                    source.Info().backgroundIndex = 1;
                std::string what = Describe(depth, alpha, from);

                for (float angle : angles) {
                    CPixImage expected;
                    RefRotate(source, angle, expected);
                    CPixImage actual(source, true, false, true);
                    if (expected.Width() == 0 || expected.Height() == 0) {
                        EXPECT_FALSE(actual.RotateByAngle(angle)) << what;
                        continue;
                    }
                    ASSERT_TRUE(actual.RotateByAngle(angle)) << what << " angle " << angle;
                    EXPECT_TRUE(SamePixels(expected, actual)) << what << " angle " << angle;
                }

                const uint32_t w = from.width, h = from.height;
                CPixImage expected, actual(source, true, false, true);
                RefMap(source, w, h, expected, [&](uint32_t x, uint32_t y) { return std::pair{x, h - 1 - y}; });
                ASSERT_TRUE(actual.FlipVertical());
                EXPECT_TRUE(SamePixels(expected, actual)) << what << " flip";

                CPixImage mirrored, mirror(source, true, false, true);
                RefMap(source, w, h, mirrored, [&](uint32_t x, uint32_t y) { return std::pair{w - 1 - x, y}; });
                ASSERT_TRUE(mirror.MirrorHorizontal());
                EXPECT_TRUE(SamePixels(mirrored, mirror)) << what << " mirror";

                CPixImage left, turned;
                RefMap(source, h, w, left, [&](uint32_t i, uint32_t j) { return std::pair{j, h - 1 - i}; });
                ASSERT_TRUE(source.TurnLeft(&turned));
                EXPECT_TRUE(SamePixels(left, turned)) << what << " left";

                CPixImage right, turnedRight;
                RefMap(source, h, w, right, [&](uint32_t j, uint32_t i) { return std::pair{w - 1 - i, j}; });
                ASSERT_TRUE(source.TurnRight(&turnedRight));
                EXPECT_TRUE(SamePixels(right, turnedRight)) << what << " right";
            }
        }
    }
}

// --- Scaling cases worked out by hand ---------------------------------------------------------

TEST(GeometryScale, HalvingAveragesEachTwoByTwoBlock) {
    CPixImage image;
    image.Allocate(4, 4, 24, Bmp);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            image.StoreColor(x, y, Bgr(static_cast<uint8_t>(10 * x + y), static_cast<uint8_t>(x * y * 7), 255));
    ASSERT_TRUE(image.ScaleTo(2, 2, 0));
    ASSERT_EQ(image.Width(), 2u);
    for (uint32_t oy = 0; oy < 2; ++oy) {
        for (uint32_t ox = 0; ox < 2; ++ox) {
            int blue = 0, green = 0;
            for (uint32_t y = 2 * oy; y < 2 * oy + 2; ++y)
                for (uint32_t x = 2 * ox; x < 2 * ox + 2; ++x) {
                    blue += static_cast<int>(10 * x + y);
                    green += static_cast<int>(x * y * 7);
                }
            RGBQUAD p = image.PixelColor(ox, oy);
            EXPECT_EQ(p.rgbBlue, blue * 1000 / 4000);
            EXPECT_EQ(p.rgbGreen, green * 1000 / 4000);
            EXPECT_EQ(p.rgbRed, 255);
        }
    }
}

TEST(GeometryScale, TenByTwoToThreeByOneSplitsColumnsInThousandths) {
    // fx = 10/3 in single precision: thresholds 2.3333333, 5.6666665 and 8.9999998, so column 3
    // splits 334/666, column 6 splits 667/333, column 9 goes whole to pixel 2; divisor 6666.
    const float fx = 10.0f / 3;
    EXPECT_EQ(static_cast<int>((3 - (fx - 1)) * 1000), 666);
    EXPECT_EQ(static_cast<int>((6 - (fx - 1 + fx)) * 1000), 333);
    EXPECT_EQ(static_cast<int>(fx * 2 * 1000), 6666);

    CPixImage image;
    image.Allocate(10, 2, 24, Bmp);
    int column[2][10];
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 10; ++x) {
            column[y][x] = static_cast<int>(20 * x + 7 * y + 3);
            image.StoreColor(x, y, Bgr(static_cast<uint8_t>(column[y][x]), static_cast<uint8_t>(255 - column[y][x]), 200));
        }
    // Each channel of an output pixel: the weighted sum over both rows, divided by 6666.
    auto average = [&](auto weightOf, auto channel) {
        int64_t total = 0;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 10; ++x)
                total += static_cast<int64_t>(channel(column[y][x])) * weightOf(x);
        return total / 6666;
    };
    auto first = [](int x) { return x < 3 ? 1000 : x == 3 ? 334 : 0; };
    auto second = [](int x) { return x == 3 ? 666 : x == 4 || x == 5 ? 1000 : x == 6 ? 667 : 0; };
    auto third = [](int x) { return x == 6 ? 333 : x > 6 ? 1000 : 0; };
    auto blue = [](int v) { return v; };
    auto green = [](int v) { return 255 - v; };
    auto red = [](int) { return 200; };

    ASSERT_TRUE(image.ScaleTo(3, 1, 0));
    ASSERT_EQ(image.Width(), 3u);
    ASSERT_EQ(image.Height(), 1u);
    RGBQUAD p0 = image.PixelColor(0, 0), p1 = image.PixelColor(1, 0), p2 = image.PixelColor(2, 0);
    EXPECT_EQ(p0.rgbBlue, average(first, blue));
    EXPECT_EQ(p0.rgbGreen, average(first, green));
    EXPECT_EQ(p0.rgbRed, average(first, red));
    EXPECT_EQ(p1.rgbBlue, average(second, blue));
    EXPECT_EQ(p1.rgbGreen, average(second, green));
    EXPECT_EQ(p1.rgbRed, average(second, red));
    EXPECT_EQ(p2.rgbBlue, average(third, blue));
    EXPECT_EQ(p2.rgbGreen, average(third, green));
    EXPECT_EQ(p2.rgbRed, average(third, red));
}

TEST(GeometryScale, SmoothShrinkOfPalettedImageBlendsAndMatchesThePalette) {
    CPixImage image;
    image.Allocate(3, 3, 8, Gif);
    image.SetPaletteEntry(0, 0, 0, 0);
    image.SetPaletteEntry(1, 255, 255, 255);
    image.SetPaletteEntry(2, 128, 128, 128);
    image.SetPaletteEntry(3, 127, 127, 127);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            image.StoreIndex(x, y, x == 0 ? 0 : 1);
    ASSERT_TRUE(image.ScaleTo(2, 2, 0));
    ASSERT_EQ(image.BitsPerPixel(), 8u);
    // Output column 1 samples source x = 1.5: halfway between black and white is 127, entry 3.
    // (Area averaging would have mixed column 0 into pixel 0 as well.)
    EXPECT_EQ(image.PixelIndex(0, 0), 0);
    EXPECT_EQ(image.PixelIndex(1, 0), 1);
    CPixImage blended;
    blended.Allocate(3, 1, 8, Gif);
    blended.LoadPaletteQuads(image.PaletteEntries(), 4);
    blended.StoreIndex(0, 0, 1);
    blended.StoreIndex(1, 0, 0);
    blended.StoreIndex(2, 0, 1);
    ASSERT_TRUE(blended.ScaleTo(2, 1, 0));
    EXPECT_EQ(blended.PixelIndex(0, 0), 1);
    EXPECT_EQ(blended.PixelIndex(1, 0), 3);  // trunc(0.5 * 0 + 0.5 * 255) = 127
}

TEST(GeometryScale, EnlargingRepeatsTheLastColumnAndRow) {
    CPixImage image;
    image.Allocate(2, 2, 24, Bmp);
    image.StoreColor(0, 0, Bgr(0, 0, 0));
    image.StoreColor(1, 0, Bgr(100, 0, 0));
    image.StoreColor(0, 1, Bgr(0, 200, 0));
    image.StoreColor(1, 1, Bgr(100, 200, 0));
    ASSERT_TRUE(image.ScaleTo(4, 4, 0));
    // Source positions 0, 0.5, 1, 1.5 on each axis; 1.5 clamps its right / upper neighbour to 1.
    const int blue[4] = {0, 50, 100, 100};
    const int green[4] = {0, 100, 200, 200};
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) {
            RGBQUAD p = image.PixelColor(x, y);
            EXPECT_EQ(p.rgbBlue, blue[x]) << x << "," << y;
            EXPECT_EQ(p.rgbGreen, green[y]) << x << "," << y;
        }
}

TEST(GeometryScale, FastDoublingRepeatsEveryPixel) {
    for (uint32_t depth : kDepths) {
        CPixImage image;
        MakeRandom(image, 5, 3, depth, true, 42 + depth);
        CPixImage source(image, true, false, true);
        ASSERT_TRUE(image.ScaleTo(10, 6, 1));
        for (uint32_t y = 0; y < 6; ++y)
            for (uint32_t x = 0; x < 10; ++x) {
                RGBQUAD e = source.PixelColor(x / 2, y / 2), a = image.PixelColor(x, y);
                ASSERT_EQ(std::memcmp(&e, &a, 3), 0) << depth << " at " << x << "," << y;
                ASSERT_EQ(image.AlphaValue(x, y), source.AlphaValue(x / 2, y / 2));
            }
    }
}

TEST(GeometryScale, FailuresAndNoOps) {
    CPixImage empty;
    EXPECT_FALSE(empty.ScaleTo(10, 10, 0));
    EXPECT_FALSE(empty.FlipVertical());
    EXPECT_FALSE(empty.MirrorHorizontal());
    EXPECT_FALSE(empty.RotateByAngle(10));
    EXPECT_FALSE(empty.TurnLeft());
    EXPECT_FALSE(empty.TurnRight());

    // A released image keeps its header size but is still empty.
    CPixImage released;
    released.Allocate(4, 4, 24, Bmp);
    released.Release();
    EXPECT_FALSE(released.ScaleTo(4, 4, 0));

    CPixImage image;
    MakeRandom(image, 6, 4, 24, false, 9);
    CPixImage before(image, true, false, false);
    EXPECT_FALSE(image.ScaleTo(0, 4, 0));
    EXPECT_FALSE(image.ScaleTo(6, 0, 1));
    EXPECT_FALSE(image.ScaleTo(-6, 4, 1));
    EXPECT_TRUE(SamePixels(before, image));
    uint8_t* block = image.Block();
    EXPECT_TRUE(image.ScaleTo(6, 4, 0));
    EXPECT_EQ(image.Block(), block);  // same size: nothing happens
    EXPECT_FALSE(image.RotateByAngle(std::nanf("")));
    EXPECT_TRUE(SamePixels(before, image));

    // A result beyond the size limit cannot be made; the image keeps its content.
    EXPECT_FALSE(image.ScaleTo(60000, 60000, 1));
    EXPECT_TRUE(SamePixels(before, image));
}

TEST(GeometryScale, EscapeStopsAtTheFirstRowAndStillHandsOverTheResult) {
    for (int mode : {0, 1}) {
        CPixImage image;
        MakeRandom(image, 9, 7, 8, false, 3);
        image.Info().escape = 1;
        ASSERT_TRUE(image.ScaleTo(20, 15, mode));
        EXPECT_EQ(image.Width(), 20u);
        EXPECT_EQ(image.Height(), 15u);
        EXPECT_EQ(image.PixelIndex(5, 5), 0);  // rows never reached are cleared
    }
}

// --- Rotation ----------------------------------------------------------------------------------

TEST(GeometryRotate, ZeroDegreesKeepsTheSizeAndShiftsByHalfAPixel) {
    CPixImage image;
    MakeRandom(image, 6, 4, 24, false, 77);
    CPixImage source(image, true, false, false);
    ASSERT_TRUE(image.RotateByAngle(0));
    ASSERT_EQ(image.Width(), 6u);
    ASSERT_EQ(image.Height(), 4u);
    // trunc(x - 0.5): column and row 0 are taken twice, the last ones dropped.
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 6; ++x) {
            RGBQUAD e = source.PixelColor(x ? x - 1 : 0, y ? y - 1 : 0), a = image.PixelColor(x, y);
            EXPECT_EQ(std::memcmp(&e, &a, 3), 0) << x << "," << y;
        }
}

TEST(GeometryRotate, NinetyDegreesTurnsClockwiseOnScreen) {
    CPixImage image;
    MakeRandom(image, 5, 3, 24, false, 78);
    CPixImage source(image, true, false, false);
    ASSERT_TRUE(image.RotateByAngle(90));
    // Corners (0,0) (5,0) (0,3) (4,3) turn to (0,0) (0,-5) (3,0) (3,-4): 3 x 5.
    ASSERT_EQ(image.Width(), 3u);
    ASSERT_EQ(image.Height(), 5u);
    // y = 0 is the bottom row. The source's bottom-right pixel ends at the bottom left, the top
    // left (of the rows kept) at the top right: a clockwise turn as seen on the screen.
    auto same = [&](uint32_t x, uint32_t y, uint32_t sx, uint32_t sy) {
        RGBQUAD e = source.PixelColor(sx, sy), a = image.PixelColor(x, y);
        return std::memcmp(&e, &a, 3) == 0;
    };
    EXPECT_TRUE(same(0, 0, 4, 0));
    EXPECT_TRUE(same(2, 4, 0, 1));
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            EXPECT_TRUE(same(x, y, 4 - y, x ? x - 1 : 0)) << x << "," << y;

    CPixImage wide;
    MakeRandom(wide, 40, 10, 8, false, 79);
    ASSERT_TRUE(wide.RotateByAngle(-90));
    EXPECT_EQ(wide.Width(), 10u);
    EXPECT_EQ(wide.Height(), 40u);
}

TEST(GeometryRotate, UncoveredCornersTakeTheBackground) {
    CPixImage image;
    image.Allocate(8, 8, 24, Bmp);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            image.StoreColor(x, y, Bgr(1, 2, 3));
    ASSERT_TRUE(image.AlphaAllocate());
    image.AlphaFill(255);
    image.Info().backgroundColor = Bgr(200, 100, 50);
    ASSERT_TRUE(image.RotateByAngle(45));
    RGBQUAD corner = image.PixelColor(0, 0);
    EXPECT_EQ(corner.rgbBlue, 200);
    EXPECT_EQ(corner.rgbRed, 50);
    EXPECT_EQ(image.AlphaValue(0, 0), 0);
    RGBQUAD middle = image.PixelColor(image.Width() / 2, image.Height() / 2);
    EXPECT_EQ(middle.rgbBlue, 1);
    EXPECT_EQ(image.AlphaValue(image.Width() / 2, image.Height() / 2), 255);
}

TEST(GeometryRotate, EscapeStillReplacesTheImage) {
    CPixImage image;
    MakeRandom(image, 30, 20, 24, true, 80);
    image.Info().escape = 1;
    ASSERT_TRUE(image.RotateByAngle(90));
    EXPECT_EQ(image.Width(), 20u);
    EXPECT_EQ(image.Height(), 30u);
    RGBQUAD p = image.PixelColor(3, 3);
    EXPECT_EQ(p.rgbBlue + p.rgbGreen + p.rgbRed, 0);

    // With a destination the image itself is left as it was.
    CPixImage source;
    MakeRandom(source, 30, 20, 4, false, 81);
    CPixImage copy(source, true, false, false);
    CPixImage target;
    ASSERT_TRUE(source.RotateByAngle(90, &target));
    EXPECT_EQ(target.Width(), 20u);
    EXPECT_TRUE(SamePixels(copy, source));
    EXPECT_EQ(target.Info().progress, 100);
}

// --- Quarter turns, flips ----------------------------------------------------------------------

TEST(GeometryTurn, QuarterTurnsMapPixelsAndUndoEachOther) {
    CPixImage image;
    image.Allocate(3, 2, 24, Tiff);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            image.StoreColor(x, y, Bgr(static_cast<uint8_t>(10 * y + x), 0, 0));
    CPixImage original(image, true, false, false);

    CPixImage right;
    ASSERT_TRUE(image.TurnRight(&right));
    ASSERT_EQ(right.Width(), 2u);
    ASSERT_EQ(right.Height(), 3u);
    // Clockwise: the bottom-left source pixel ends at the top left.
    EXPECT_EQ(right.PixelColor(0, 2).rgbBlue, 0);
    EXPECT_EQ(right.PixelColor(1, 2).rgbBlue, 10);
    EXPECT_EQ(right.PixelColor(0, 0).rgbBlue, 2);
    EXPECT_TRUE(SamePixels(original, image));

    ASSERT_TRUE(image.TurnLeft());
    ASSERT_EQ(image.Width(), 2u);
    // Anticlockwise: the bottom-left source pixel ends at the bottom right.
    EXPECT_EQ(image.PixelColor(1, 0).rgbBlue, 0);
    EXPECT_EQ(image.PixelColor(0, 0).rgbBlue, 10);
    ASSERT_TRUE(image.TurnRight());
    EXPECT_TRUE(SamePixels(original, image));
}

TEST(GeometryFlip, FlipAndMirrorTwiceRestoreEveryDepth) {
    for (uint32_t depth : kDepths) {
        CPixImage image;
        MakeRandom(image, 11, 5, depth, true, 90 + depth);
        CPixImage original(image, true, false, true);
        ASSERT_TRUE(image.FlipVertical());
        EXPECT_EQ(image.AlphaValue(0, 0), original.AlphaValue(0, 4));
        ASSERT_TRUE(image.MirrorHorizontal());
        EXPECT_EQ(image.AlphaValue(0, 0), original.AlphaValue(10, 4));
        ASSERT_TRUE(image.FlipVertical());
        ASSERT_TRUE(image.MirrorHorizontal());
        EXPECT_TRUE(SamePixels(original, image)) << depth;
    }
}
