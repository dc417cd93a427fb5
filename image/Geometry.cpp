// The geometric operations: resampling to a new size, flipping, mirroring, rotation by any angle
// and quarter turns. Each builds its result in a new image and hands it over with TakeOver, so the
// image keeps its old content when the result cannot be made.
//
// The pixels are those of the per-pixel formulation (PixelColor / StoreColor for every output
// pixel); the code below gets them from the rows directly. Coordinates are computed with exactly
// the same floating-point operations, in the same order and precision, so every truncation lands
// on the same integer. Where a source coordinate could fall outside the picture (only with
// absurdly large sizes, where single precision runs out), the per-pixel accessors are used instead.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/DibRows.h"
#include "image/PixImage.h"
#include "image/TransformSupport.h"

using dib::IndexAt;
using dib::PutIndex;
using pixtransform::SetProgress;
using pixtransform::StopRequested;

namespace {

constexpr const char* kNoMemory = "Not enough memory for the transformed image";

// Starts a result image: the source's ImageInfo, resolution (header fields included), depth, type
// and palette at the new size. The result keeps the source's palette size, so colours are only
// ever matched against entries the picture really has. Row padding is cleared, as are the unused
// low bits of a partly filled last byte, so a result never carries stale memory.
bool MakeResult(const CPixImage& source, uint32_t width, uint32_t height, bool withAlpha, CPixImage& result) {
    result.CopyInfoFrom(source);
    result.SetHorizontalDpi(source.Info().dpiX);
    result.SetVerticalDpi(source.Info().dpiY);
    if (!result.Allocate(width, height, source.BitsPerPixel(), source.Type()))
        return false;
    if (result.BitsPerPixel() < 24) {
        uint32_t colours = source.PaletteCount();
        if (colours)
            result.LoadPaletteQuads(source.PaletteEntries(), colours);
        result.Header().biClrUsed = colours;
    }
    size_t full = static_cast<size_t>(width) * result.BitsPerPixel() / 8;
    size_t rowBytes = result.EffectiveWidth();
    for (uint32_t y = 0; y < height; ++y)
        std::memset(result.Row(y) + full, 0, rowBytes - full);
    if (withAlpha && !result.AlphaAllocate())
        return false;
    return true;
}

// Clears the rows an operation stopped by escape did not reach.
void ClearRowsFrom(CPixImage& result, uint32_t firstRow) {
    if (firstRow < result.Height())
        std::memset(result.Row(firstRow), 0,
                    static_cast<size_t>(result.Height() - firstRow) * result.EffectiveWidth());
}

// Rotations fill their output in bands of rows, each band in narrow column strips, so that the
// source pixels a strip needs stay in the cache whatever the angle (a quarter turn walks the
// source by columns).
constexpr uint32_t kBandRows = 32;
constexpr uint32_t kStripColumns = 64;

template <typename Pixel>
void ForEachInBand(uint32_t firstRow, uint32_t rows, uint32_t width, Pixel pixel) {
    for (uint32_t x0 = 0; x0 < width; x0 += kStripColumns) {
        uint32_t x1 = std::min(width, x0 + kStripColumns);
        for (uint32_t y = firstRow; y < firstRow + rows; ++y)
            for (uint32_t x = x0; x < x1; ++x)
                pixel(x, y);
    }
}

template <typename T>
std::unique_ptr<T[]> NewArray(size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

// NearestPaletteIndex searches the whole palette; resampled colours repeat a lot, so the answers
// are remembered in a small direct-mapped table keyed by the colour.
class NearestIndexCache {
public:
    explicit NearestIndexCache(const CPixImage& image) : image_(image) { keys_.fill(0); }

    uint8_t Lookup(RGBQUAD color) {
        uint32_t key = (static_cast<uint32_t>(color.rgbRed) << 16) | (static_cast<uint32_t>(color.rgbGreen) << 8) |
                       color.rgbBlue;
        uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        if (keys_[slot] != key + 1) {
            keys_[slot] = key + 1;
            values_[slot] = image_.NearestPaletteIndex(color);
        }
        return values_[slot];
    }

private:
    static constexpr uint32_t kBits = 12;
    const CPixImage& image_;
    std::array<uint32_t, 1u << kBits> keys_;  // colour + 1; 0 marks an empty slot
    std::array<uint8_t, 1u << kBits> values_{};
};

// Source columns (or rows) of nearest-neighbour sampling: trunc(i * factor).
std::vector<uint32_t> NearestTable(uint32_t count, float factor, uint32_t limit, bool& inside) {
    std::vector<uint32_t> table(count);
    inside = true;
    for (uint32_t i = 0; i < count; ++i) {
        auto s = static_cast<int64_t>(static_cast<float>(i) * factor);
        if (s >= limit)
            inside = false;
        table[i] = static_cast<uint32_t>(std::min<int64_t>(s, limit - 1));
    }
    return table;
}

// Nearest neighbour through the per-pixel accessors, for sizes where a source coordinate can land
// outside the picture. Returns the row it stopped at (height when it ran to the end).
uint32_t ScaleNearestByPixel(CPixImage& self, const CPixImage& source, CPixImage& result, float fx, float fy) {
    uint32_t W = result.Width(), H = result.Height();
    for (uint32_t y = 0; y < H; ++y) {
        SetProgress(self, y, H);
        if (StopRequested(self))
            return y;
        auto sy = static_cast<int64_t>(static_cast<float>(y) * fy);
        for (uint32_t x = 0; x < W; ++x)
            result.StoreColor(x, y, source.PixelColor(static_cast<int64_t>(static_cast<float>(x) * fx), sy));
    }
    return H;
}

uint32_t ScaleNearest(CPixImage& self, const CPixImage& source, CPixImage& result, float fx, float fy) {
    uint32_t W = result.Width(), H = result.Height();
    uint32_t depth = source.BitsPerPixel();
    bool columnsInside = false, rowsInside = false;
    std::vector<uint32_t> sx = NearestTable(W, fx, source.Width(), columnsInside);
    std::vector<uint32_t> sy = NearestTable(H, fy, source.Height(), rowsInside);
    if (!columnsInside || !rowsInside)
        return ScaleNearestByPixel(self, source, result, fx, fy);

    // A paletted pixel's colour goes back through NearestPaletteIndex, which depends only on the
    // index it came from: one table of 256 answers does it for every pixel.
    std::array<uint8_t, 256> mapIndex{};
    if (depth < 24) {
        for (uint32_t i = 0; i < 256; ++i)
            mapIndex[i] = result.NearestPaletteIndex(source.PaletteEntry(static_cast<uint8_t>(i)));
    }
    // 24 bits: byte offsets of the sampled pixels. A pixel is copied with one 4-byte load and
    // store where the fourth byte is still inside the source row and the next output pixel
    // overwrites the extra byte written; the rest (the last output pixel, and sources in the last
    // column) are copied byte by byte.
    std::vector<size_t> offset(depth == 24 ? W : 0);
    uint32_t wide = 0;
    if (depth == 24) {
        for (uint32_t x = 0; x < W; ++x) {
            offset[x] = 3 * static_cast<size_t>(sx[x]);
            if (x + 1 < W && sx[x] + 1 < source.Width())
                wide = x + 1;
        }
    }
    for (uint32_t y = 0; y < H; ++y) {
        SetProgress(self, y, H);
        if (StopRequested(self))
            return y;
        uint8_t* out = result.Row(y);
        if (y > 0 && sy[y] == sy[y - 1]) {
            // Enlarging repeats the source row: the output row is the same as the one before.
            std::memcpy(out, result.Row(y - 1), result.EffectiveWidth());
            continue;
        }
        const uint8_t* in = source.Row(sy[y]);
        if (depth == 24) {
            // The scale is bound by memory reads: ask for the source row two output rows ahead
            // early (one prefetch per cache line or so).
            const uint8_t* ahead = y + 2 < H ? source.Row(sy[y + 2]) : in;
            for (uint32_t x = 0; x < wide; ++x) {
                if ((x & 7) == 0)
                    __builtin_prefetch(ahead + offset[x]);
                uint32_t pixel;
                std::memcpy(&pixel, in + offset[x], 4);
                std::memcpy(out + 3 * static_cast<size_t>(x), &pixel, 4);
            }
            for (uint32_t x = wide; x < W; ++x)
                std::memcpy(out + 3 * static_cast<size_t>(x), in + offset[x], 3);
        } else {
            for (uint32_t x = 0; x < W; ++x)
                PutIndex(out, x, depth, mapIndex[IndexAt(in, sx[x], depth)]);
        }
    }
    return H;
}

// Bilinear interpolation through the per-pixel accessors (see ScaleNearestByPixel).
uint32_t ScaleBilinearByPixel(CPixImage& self, const CPixImage& source, CPixImage& result, float fx, float fy) {
    uint32_t W = result.Width(), H = result.Height();
    int64_t lastColumn = static_cast<int64_t>(source.Width()) - 1;
    int64_t lastRow = static_cast<int64_t>(source.Height()) - 1;
    for (uint32_t y = 0; y < H; ++y) {
        SetProgress(self, y, H);
        if (StopRequested(self))
            return y;
        float fyp = static_cast<float>(y) * fy;
        auto iy = static_cast<int64_t>(fyp);
        int64_t iy1 = std::min(lastRow, iy + 1);
        float dy = fyp - static_cast<float>(iy);
        for (uint32_t x = 0; x < W; ++x) {
            float fxp = static_cast<float>(x) * fx;
            auto ix = static_cast<int64_t>(fxp);
            int64_t ix1 = std::min(lastColumn, ix + 1);
            float dx = fxp - static_cast<float>(ix);
            RGBQUAD c[4] = {source.PixelColor(ix, iy), source.PixelColor(ix1, iy), source.PixelColor(ix, iy1),
                            source.PixelColor(ix1, iy1)};
            auto mix = [&](uint8_t RGBQUAD::*channel) {
                float t = (1 - dy) * static_cast<float>(c[0].*channel) + dy * static_cast<float>(c[2].*channel);
                float u = (1 - dy) * static_cast<float>(c[1].*channel) + dy * static_cast<float>(c[3].*channel);
                return static_cast<uint8_t>(static_cast<int32_t>((1 - dx) * t + dx * u));
            };
            RGBQUAD value{mix(&RGBQUAD::rgbBlue), mix(&RGBQUAD::rgbGreen), mix(&RGBQUAD::rgbRed), 0};
            result.StoreColor(x, y, value);
        }
    }
    return H;
}

// One output pixel of bilinear interpolation from the four neighbours, each channel
// (1 - dx) * ((1 - dy) * c1 + dy * c3) + dx * ((1 - dy) * c2 + dy * c4), truncated.
inline uint8_t Blend(float wx, float dx, float wy, float dy, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4) {
    float t = wy * static_cast<float>(c1) + dy * static_cast<float>(c3);
    float u = wy * static_cast<float>(c2) + dy * static_cast<float>(c4);
    return static_cast<uint8_t>(static_cast<int32_t>(wx * t + dx * u));
}

uint32_t ScaleBilinear(CPixImage& self, const CPixImage& source, CPixImage& result, float fx, float fy) {
    uint32_t W = result.Width(), H = result.Height();
    uint32_t width = source.Width(), height = source.Height();
    uint32_t depth = source.BitsPerPixel();

    // Per output column: ix, ix1 = min(width - 1, ix + 1), dx = x * fx - ix and 1 - dx.
    std::vector<uint32_t> ix(W), ix1(W);
    std::vector<float> dx(W), wx(W);
    for (uint32_t x = 0; x < W; ++x) {
        float fxp = static_cast<float>(x) * fx;
        auto i = static_cast<int64_t>(fxp);
        if (i >= width)
            return ScaleBilinearByPixel(self, source, result, fx, fy);
        ix[x] = static_cast<uint32_t>(i);
        ix1[x] = std::min(width - 1, ix[x] + 1);
        dx[x] = fxp - static_cast<float>(i);
        wx[x] = 1 - dx[x];
    }
    if (static_cast<int64_t>(static_cast<float>(H - 1) * fy) >= height)
        return ScaleBilinearByPixel(self, source, result, fx, fy);

    std::array<RGBQUAD, 256> palette{};
    for (uint32_t i = 0; i < 256 && depth < 24; ++i)
        palette[i] = source.PaletteEntry(static_cast<uint8_t>(i));
    NearestIndexCache nearest(result);

    for (uint32_t y = 0; y < H; ++y) {
        SetProgress(self, y, H);
        if (StopRequested(self))
            return y;
        float fyp = static_cast<float>(y) * fy;
        auto iy = static_cast<uint32_t>(fyp);
        uint32_t iy1 = std::min(height - 1, iy + 1);
        float dy = fyp - static_cast<float>(iy);
        float wy = 1 - dy;
        const uint8_t* r0 = source.Row(iy);
        const uint8_t* r1 = source.Row(iy1);
        uint8_t* out = result.Row(y);
        if (depth == 24) {
            for (uint32_t x = 0; x < W; ++x) {
                const uint8_t* c1 = r0 + 3 * static_cast<size_t>(ix[x]);
                const uint8_t* c2 = r0 + 3 * static_cast<size_t>(ix1[x]);
                const uint8_t* c3 = r1 + 3 * static_cast<size_t>(ix[x]);
                const uint8_t* c4 = r1 + 3 * static_cast<size_t>(ix1[x]);
                uint8_t* o = out + 3 * static_cast<size_t>(x);
                for (int ch = 0; ch < 3; ++ch)
                    o[ch] = Blend(wx[x], dx[x], wy, dy, c1[ch], c2[ch], c3[ch], c4[ch]);
            }
        } else {
            for (uint32_t x = 0; x < W; ++x) {
                RGBQUAD c1 = palette[IndexAt(r0, ix[x], depth)];
                RGBQUAD c2 = palette[IndexAt(r0, ix1[x], depth)];
                RGBQUAD c3 = palette[IndexAt(r1, ix[x], depth)];
                RGBQUAD c4 = palette[IndexAt(r1, ix1[x], depth)];
                RGBQUAD value{
                    Blend(wx[x], dx[x], wy, dy, c1.rgbBlue, c2.rgbBlue, c3.rgbBlue, c4.rgbBlue),
                    Blend(wx[x], dx[x], wy, dy, c1.rgbGreen, c2.rgbGreen, c3.rgbGreen, c4.rgbGreen),
                    Blend(wx[x], dx[x], wy, dy, c1.rgbRed, c2.rgbRed, c3.rgbRed, c4.rgbRed),
                    0,
                };
                PutIndex(out, x, depth, nearest.Lookup(value));
            }
        }
    }
    return H;
}

// Area averaging of a 24-bit picture that shrinks in both directions: one pass over the source
// rows with two row accumulators in thousandths of a pixel. `current` collects the output row
// being built, `next` the part of the source row on a row boundary that belongs to the row after.
//
// The column thresholds tx restart for every source row and advance by the same single-precision
// steps, so where each source column falls (inside an output column, or on a boundary split
// ex : 1000 - ex) is the same for every row and is worked out once. Rounding in those steps can
// make a row cross more (or fewer) boundaries than the output has columns; the accumulators have
// room for every boundary crossed, output columns past the last are not written, and columns a
// row did not reach repeat the last one written. Sums are 64-bit: a large picture shrunk to a
// few pixels adds up more than 32 bits hold.
bool ScaleArea(const CPixImage& source, CPixImage& result, float fx, float fy) {
    const uint32_t W = result.Width(), H = result.Height();
    const uint32_t width = source.Width(), height = source.Height();

    auto columnOf = NewArray<uint32_t>(width);
    auto splitOf = NewArray<int32_t>(width);  // -1 inside an output column, else ex
    if (!columnOf || !splitOf)
        return false;
    uint32_t crossings = 0;
    float tx = fx - 1;
    for (uint32_t x = 0; x < width; ++x) {
        columnOf[x] = crossings;
        if (static_cast<float>(x) < tx) {
            splitOf[x] = -1;
        } else {
            auto ex = static_cast<int32_t>((static_cast<float>(x) - tx) * 1000);
            splitOf[x] = std::clamp(ex, 0, 1000);
            ++crossings;
            tx += fx;
        }
    }

    size_t slots = 3 * (static_cast<size_t>(std::max(crossings, W)) + 2);
    auto first = NewArray<int64_t>(slots);
    auto second = NewArray<int64_t>(slots);
    if (!first || !second)
        return false;
    int64_t* current = first.get();
    int64_t* next = second.get();
    const auto divisor = static_cast<int64_t>(fx * fy * 1000);

    auto outputByte = [divisor](int64_t sum) { return static_cast<uint8_t>(std::min<int64_t>(sum / divisor, 255)); };
    // Writes the output row from current[] when the row has not been written yet.
    auto finishRow = [&](uint8_t* out, uint32_t written) {
        if (written >= W)
            return;
        uint32_t col = std::min(crossings, W - 1);
        if (written <= col) {
            for (int ch = 0; ch < 3; ++ch)
                out[3 * static_cast<size_t>(col) + ch] = outputByte(current[3 * static_cast<size_t>(col) + ch]);
        }
        for (uint32_t c = col + 1; c < W; ++c)
            std::memcpy(out + 3 * static_cast<size_t>(c), out + 3 * static_cast<size_t>(col), 3);
    };

    float ty = fy - 1;
    uint32_t rowsWritten = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = source.Row(y);
        if (static_cast<float>(y) < ty) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = in + 3 * static_cast<size_t>(x);
                int64_t* acc = current + 3 * static_cast<size_t>(columnOf[x]);
                int32_t ex = splitOf[x];
                if (ex < 0) {
                    acc[0] += p[0] * 1000;
                    acc[1] += p[1] * 1000;
                    acc[2] += p[2] * 1000;
                } else {
                    for (int ch = 0; ch < 3; ++ch) {
                        acc[ch] += static_cast<int64_t>(p[ch]) * (1000 - ex);
                        acc[3 + ch] += static_cast<int64_t>(p[ch]) * ex;
                    }
                }
            }
            continue;
        }

        // This source row lies on the boundary to the next output row: ey thousandths of it
        // belong to the next row.
        const int64_t ey = std::clamp<int64_t>(static_cast<int64_t>((static_cast<float>(y) - ty) * 1000), 0, 1000);
        uint8_t* out = rowsWritten < H ? result.Row(rowsWritten) : nullptr;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = in + 3 * static_cast<size_t>(x);
            uint32_t col = columnOf[x];
            int64_t* cur = current + 3 * static_cast<size_t>(col);
            int64_t* nxt = next + 3 * static_cast<size_t>(col);
            int64_t ex = splitOf[x];
            if (ex < 0) {
                for (int ch = 0; ch < 3; ++ch) {
                    cur[ch] += p[ch] * (1000 - ey);
                    nxt[ch] += p[ch] * ey;
                }
            } else {
                for (int ch = 0; ch < 3; ++ch) {
                    int64_t v = p[ch];
                    cur[ch] += v * (1000 - ey) * (1000 - ex) / 1000;
                    if (out && col < W)
                        out[3 * static_cast<size_t>(col) + ch] = outputByte(cur[ch]);
                    nxt[ch] += v * (1000 - ex) * ey / 1000;
                    cur[3 + ch] += v * (1000 - ey) * ex / 1000;
                    // The next row's accumulator of a new column starts here: set, not added.
                    nxt[3 + ch] = v * ey * ex / 1000;
                }
            }
        }
        if (out)
            finishRow(out, std::min(crossings, W));
        std::swap(current, next);
        next[0] = next[1] = next[2] = 0;
        ty += fy;
        ++rowsWritten;
    }

    if (rowsWritten < H) {
        uint8_t* out = result.Row(rowsWritten);
        for (size_t i = 0; i < 3 * static_cast<size_t>(W); ++i)
            out[i] = outputByte(current[i]);
        ++rowsWritten;
    }
    // Rows rounding kept from being reached repeat the last one.
    for (uint32_t y = rowsWritten; y < H; ++y)
        std::memcpy(result.Row(y), result.Row(y - 1), result.EffectiveWidth());
    return true;
}

}  // namespace

bool CPixImage::ScaleTo(int32_t newWidth, int32_t newHeight, int32_t mode) {
    if (!block_)
        return false;
    if (newWidth <= 0 || newHeight <= 0) {
        SetLastErrorFormatted("Invalid size %d x %d", newWidth, newHeight);
        return false;
    }
    const auto W = static_cast<uint32_t>(newWidth);
    const auto H = static_cast<uint32_t>(newHeight);
    if (W == Width() && H == Height())
        return true;
    const float fx = static_cast<float>(Width()) / static_cast<float>(W);
    const float fy = static_cast<float>(Height()) / static_cast<float>(H);

    CPixImage result;
    if (!MakeResult(*this, W, H, alpha_ != nullptr, result)) {
        SetLastError(kNoMemory);
        return false;
    }
    uint32_t rowsDone = H;
    if (mode != 0) {
        rowsDone = ScaleNearest(*this, *this, result, fx, fy);
    } else if (W < Width() && H < Height() && BitsPerPixel() == 24) {
        if (!ScaleArea(*this, result, fx, fy)) {
            SetLastError(kNoMemory);
            return false;
        }
    } else {
        rowsDone = ScaleBilinear(*this, *this, result, fx, fy);
    }
    ClearRowsFrom(result, rowsDone);
    if (rowsDone == H)
        SetProgress(*this, 1, 1);

    if (alpha_) {
        // The alpha plane is sampled nearest-neighbour in every mode.
        bool columnsInside = false;
        std::vector<uint32_t> sx = NearestTable(W, fx, Width(), columnsInside);
        uint8_t* plane = result.alpha_.get();
        for (uint32_t y = 0; y < H; ++y) {
            auto sy = static_cast<int64_t>(static_cast<float>(y) * fy);
            uint8_t* out = plane + static_cast<size_t>(y) * W;
            if (columnsInside && sy < Height()) {
                const uint8_t* in = alpha_.get() + static_cast<size_t>(sy) * Width();
                for (uint32_t x = 0; x < W; ++x)
                    out[x] = in[sx[x]];
            } else {
                for (uint32_t x = 0; x < W; ++x)
                    out[x] = AlphaValue(static_cast<int64_t>(static_cast<float>(x) * fx), sy);
            }
        }
    }
    result.info_.progress = info_.progress;
    result.info_.escape = info_.escape;
    TakeOver(result);
    return true;
}

bool CPixImage::FlipVertical() {
    if (!block_)
        return false;
    const uint32_t width = Width(), height = Height();
    CPixImage result;
    if (!MakeResult(*this, width, height, alpha_ != nullptr, result)) {
        SetLastError(kNoMemory);
        return false;
    }
    for (uint32_t i = 0; i < height; ++i)
        std::memcpy(result.Row(i), Row(height - 1 - i), info_.effectiveWidth);
    if (alpha_) {
        for (uint32_t i = 0; i < height; ++i)
            std::memcpy(result.alpha_.get() + static_cast<size_t>(i) * width,
                        alpha_.get() + static_cast<size_t>(height - 1 - i) * width, width);
    }
    TakeOver(result);
    return true;
}

bool CPixImage::MirrorHorizontal() {
    if (!block_)
        return false;
    const uint32_t width = Width(), height = Height();
    const uint32_t depth = BitsPerPixel();
    CPixImage result;
    if (!MakeResult(*this, width, height, alpha_ != nullptr, result)) {
        SetLastError(kNoMemory);
        return false;
    }
    for (uint32_t i = 0; i < height; ++i) {
        const uint8_t* in = Row(i);
        uint8_t* out = result.Row(i);
        if (depth == 24) {
            for (uint32_t j = 0; j < width; ++j)
                std::memcpy(out + 3 * static_cast<size_t>(j), in + 3 * static_cast<size_t>(width - 1 - j), 3);
        } else if (depth == 8) {
            std::reverse_copy(in, in + width, out);
        } else {
            for (uint32_t j = 0; j < width; ++j)
                PutIndex(out, j, depth, IndexAt(in, width - 1 - j, depth));
        }
        if (alpha_) {
            const uint8_t* a = alpha_.get() + static_cast<size_t>(i) * width;
            std::reverse_copy(a, a + width, result.alpha_.get() + static_cast<size_t>(i) * width);
        }
    }
    TakeOver(result);
    return true;
}

bool CPixImage::RotateByAngle(float angle, CPixImage* destination) {
    if (!block_)
        return false;
    if (!std::isfinite(angle)) {
        SetLastError("Invalid rotation angle");
        return false;
    }
    // A positive angle turns clockwise on the screen; with y counting up from the bottom row that
    // is a negative angle in the mathematical sense.
    const double a = static_cast<double>(-angle) * std::acos(0.0) / 90;
    const double c = std::cos(a);
    const double s = std::sin(a);
    const int64_t width = Width(), height = Height();

    // The corners are deliberately not symmetric: (width, 0) but (width - 1, height).
    const double corners[4][2] = {{0, 0},
                                  {static_cast<double>(width), 0},
                                  {0, static_cast<double>(height)},
                                  {static_cast<double>(width - 1), static_cast<double>(height)}};
    int64_t minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
    for (const auto& corner : corners) {
        auto rx = static_cast<int64_t>(corner[0] * c - corner[1] * s);
        auto ry = static_cast<int64_t>(corner[0] * s + corner[1] * c);
        minX = std::min(minX, rx);
        maxX = std::max(maxX, rx);
        minY = std::min(minY, ry);
        maxY = std::max(maxY, ry);
    }
    const int64_t newWidth = maxX - minX;
    const int64_t newHeight = maxY - minY;
    if (newWidth <= 0 || newHeight <= 0) {
        SetLastError("The rotated image would have no pixels");
        return false;
    }

    CPixImage result;
    if (newWidth > INT32_MAX || newHeight > INT32_MAX ||
        !MakeResult(*this, static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight), alpha_ != nullptr,
                    result)) {
        SetLastError(kNoMemory);
        return false;
    }

    const uint32_t depth = BitsPerPixel();
    const uint8_t outsideIndex = info_.backgroundIndex != -1 ? static_cast<uint8_t>(info_.backgroundIndex) : 0;
    const RGBQUAD outsideColor = info_.backgroundColor;
    const uint8_t* sourceAlpha = alpha_.get();
    uint8_t* resultAlpha = result.alpha_.get();

    // x * c and x * s of every column of the loop, the same products the formula forms per pixel.
    std::vector<double> xc(static_cast<size_t>(newWidth)), xs(static_cast<size_t>(newWidth));
    for (int64_t nx = 0; nx < newWidth; ++nx) {
        auto x = static_cast<double>(minX + nx);
        xc[nx] = x * c;
        xs[nx] = x * s;
    }

    // The loop runs to maxY and maxX inclusive; the last row and column fall outside the result
    // and are left out. Output rows are filled band by band (progress and escape are looked at
    // per band).
    const uint32_t W = result.Width(), H = result.Height();
    const uint8_t* bits = info_.pixels;
    const size_t stride = info_.effectiveWidth;
    const size_t outStride = result.info_.effectiveWidth;
    uint32_t rowsDone = H;
    for (uint32_t band = 0; band < H; band += kBandRows) {
        SetProgress(*this, band, H);
        if (StopRequested(*this)) {
            rowsDone = band;
            break;
        }
        const uint32_t rows = std::min(kBandRows, H - band);
        double ys[kBandRows], yc[kBandRows];
        for (uint32_t i = 0; i < rows; ++i) {
            auto y = static_cast<double>(minY + band + i);
            ys[i] = y * s;
            yc[i] = y * c;
        }
        ForEachInBand(band, rows, W, [&](uint32_t nx, uint32_t ny) {
            auto sx = static_cast<int64_t>(xc[nx] + ys[ny - band] - 0.5);
            auto sy = static_cast<int64_t>(yc[ny - band] - xs[nx] - 0.5);
            bool inside = sx >= 0 && sy >= 0 && sx < width && sy < height;
            uint8_t* out = result.info_.pixels + ny * outStride;
            const uint8_t* in = inside ? bits + static_cast<size_t>(sy) * stride : nullptr;
            if (depth == 24) {
                uint8_t* o = out + 3 * static_cast<size_t>(nx);
                if (inside) {
                    std::memcpy(o, in + 3 * sx, 3);
                } else {
                    o[0] = outsideColor.rgbBlue;
                    o[1] = outsideColor.rgbGreen;
                    o[2] = outsideColor.rgbRed;
                }
            } else {
                PutIndex(out, nx, depth, inside ? IndexAt(in, static_cast<uint32_t>(sx), depth) : outsideIndex);
            }
            if (resultAlpha)
                resultAlpha[static_cast<size_t>(ny) * W + nx] =
                    inside && sourceAlpha ? sourceAlpha[static_cast<size_t>(sy) * width + sx] : 0;
        });
    }
    if (rowsDone == H)
        SetProgress(*this, 1, 1);
    ClearRowsFrom(result, rowsDone);
    if (resultAlpha && rowsDone < H)
        std::memset(resultAlpha + static_cast<size_t>(rowsDone) * W, 0, static_cast<size_t>(H - rowsDone) * W);

    result.info_.progress = info_.progress;
    result.info_.escape = info_.escape;
    (destination ? *destination : *this).TakeOver(result);
    return true;
}

namespace {

// A quarter turn: result pixel (x, y) comes from source pixel from(x, y).
template <typename From>
void Turn(const CPixImage& source, CPixImage& result, From from) {
    const uint32_t W = result.Width(), H = result.Height();
    const uint32_t depth = source.BitsPerPixel();
    const uint32_t sourceWidth = source.Width();
    const uint8_t* sourceAlpha = source.AlphaPlane();
    uint8_t* resultAlpha = result.AlphaPlane();
    for (uint32_t band = 0; band < H; band += kBandRows) {
        ForEachInBand(band, std::min(kBandRows, H - band), W, [&](uint32_t x, uint32_t y) {
            auto [sx, sy] = from(x, y);
            const uint8_t* in = source.Row(sy);
            uint8_t* out = result.Row(y);
            if (depth == 24)
                std::memcpy(out + 3 * static_cast<size_t>(x), in + 3 * static_cast<size_t>(sx), 3);
            else
                PutIndex(out, x, depth, IndexAt(in, sx, depth));
            if (resultAlpha)
                resultAlpha[static_cast<size_t>(y) * W + x] = sourceAlpha[static_cast<size_t>(sy) * sourceWidth + sx];
        });
    }
}

}  // namespace

bool CPixImage::TurnLeft(CPixImage* destination) {
    if (!block_)
        return false;
    const uint32_t width = Width(), height = Height();  // of the source
    CPixImage result;
    if (!MakeResult(*this, height, width, alpha_ != nullptr, result)) {
        SetLastError(kNoMemory);
        return false;
    }
    // Result column i, row j shows source column j, row height - 1 - i.
    Turn(*this, result, [height](uint32_t i, uint32_t j) { return std::pair<uint32_t, uint32_t>{j, height - 1 - i}; });
    (destination ? *destination : *this).TakeOver(result);
    return true;
}

bool CPixImage::TurnRight(CPixImage* destination) {
    if (!block_)
        return false;
    const uint32_t width = Width(), height = Height();
    CPixImage result;
    if (!MakeResult(*this, height, width, alpha_ != nullptr, result)) {
        SetLastError(kNoMemory);
        return false;
    }
    // Result column j, row i shows source column width - 1 - i, row j.
    Turn(*this, result, [width](uint32_t j, uint32_t i) { return std::pair<uint32_t, uint32_t>{width - 1 - i, j}; });
    (destination ? *destination : *this).TakeOver(result);
    return true;
}
