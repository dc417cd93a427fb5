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

// Starts a result image: the source's ImageInfo, resolution (header fields included), depth, type,
// palette and alpha plane at the new size. The result keeps the source's palette size, so colours
// are only ever matched against entries the picture really has. Row padding is cleared, as are the
// unused low bits of a partly filled last byte, so a result never carries stale memory. When the
// memory cannot be had, the source says so in its lastError.
bool MakeResult(CPixImage& source, uint32_t width, uint32_t height, CPixImage& result) {
    result.CopyInfoFrom(source);
    result.SetHorizontalDpi(source.Info().dpiX);
    result.SetVerticalDpi(source.Info().dpiY);
    if (!result.Allocate(width, height, source.BitsPerPixel(), source.Type())) {
        source.SetLastError(kNoMemory);
        return false;
    }
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
    if (source.HasAlpha() && !result.AlphaAllocate()) {
        source.SetLastError(kNoMemory);
        return false;
    }
    return true;
}

// An operation that reports progress ends it: the progress is complete when every row was made,
// and the rows (and alpha rows) an escape left unreached are cleared.
void FinishRows(CPixImage& self, CPixImage& result, uint32_t rowsDone) {
    const uint32_t H = result.Height();
    if (rowsDone == H)
        SetProgress(self, 1, 1);
    if (rowsDone < H) {
        std::memset(result.Row(rowsDone), 0, static_cast<size_t>(H - rowsDone) * result.EffectiveWidth());
        if (uint8_t* alpha = result.AlphaPlane())
            std::memset(alpha + static_cast<size_t>(rowsDone) * result.Width(), 0,
                        static_cast<size_t>(H - rowsDone) * result.Width());
    }
}

// Hands the result of an operation that reports progress over with the progress and escape fields
// as they are now, not as they were when the result was started.
void HandOverRunning(CPixImage& self, CPixImage& result, CPixImage* destination) {
    result.Info().progress = self.Info().progress;
    result.Info().escape = self.Info().escape;
    (destination ? *destination : self).TakeOver(result);
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

// Makes the output rows in order with `row(y)`, reporting progress before each and stopping when
// escape is set. Returns the row it stopped at (the height when it ran to the end).
template <typename Row>
uint32_t ForEachRow(CPixImage& self, uint32_t H, Row row) {
    for (uint32_t y = 0; y < H; ++y) {
        SetProgress(self, y, H);
        if (StopRequested(self))
            return y;
        row(y);
    }
    return H;
}

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
    const uint32_t W = result.Width();
    return ForEachRow(self, result.Height(), [&](uint32_t y) {
        auto sy = static_cast<int64_t>(static_cast<float>(y) * fy);
        for (uint32_t x = 0; x < W; ++x)
            result.StoreColor(x, y, source.PixelColor(static_cast<int64_t>(static_cast<float>(x) * fx), sy));
    });
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
    // The row maker holds its sizes and tables by value: it writes bytes, which the compiler must
    // otherwise assume could change anything it reads through a reference.
    return ForEachRow(self, H, [&, W, H, depth, wide, offset = offset.data()](uint32_t y) {
        uint8_t* out = result.Row(y);
        if (y > 0 && sy[y] == sy[y - 1]) {
            // Enlarging repeats the source row: the output row is the same as the one before.
            std::memcpy(out, result.Row(y - 1), result.EffectiveWidth());
            return;
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
    });
}

// One output pixel of bilinear interpolation from the four neighbours, each channel
// (1 - dx) * ((1 - dy) * c1 + dy * c3) + dx * ((1 - dy) * c2 + dy * c4), truncated.
inline uint8_t Blend(float wx, float dx, float wy, float dy, uint8_t c1, uint8_t c2, uint8_t c3, uint8_t c4) {
    float t = wy * static_cast<float>(c1) + dy * static_cast<float>(c3);
    float u = wy * static_cast<float>(c2) + dy * static_cast<float>(c4);
    return static_cast<uint8_t>(static_cast<int32_t>(wx * t + dx * u));
}

inline RGBQUAD BlendColors(float wx, float dx, float wy, float dy, const RGBQUAD (&c)[4]) {
    return RGBQUAD{
        Blend(wx, dx, wy, dy, c[0].rgbBlue, c[1].rgbBlue, c[2].rgbBlue, c[3].rgbBlue),
        Blend(wx, dx, wy, dy, c[0].rgbGreen, c[1].rgbGreen, c[2].rgbGreen, c[3].rgbGreen),
        Blend(wx, dx, wy, dy, c[0].rgbRed, c[1].rgbRed, c[2].rgbRed, c[3].rgbRed),
        0,
    };
}

// Bilinear interpolation through the per-pixel accessors (see ScaleNearestByPixel).
uint32_t ScaleBilinearByPixel(CPixImage& self, const CPixImage& source, CPixImage& result, float fx, float fy) {
    const uint32_t W = result.Width();
    const int64_t lastColumn = static_cast<int64_t>(source.Width()) - 1;
    const int64_t lastRow = static_cast<int64_t>(source.Height()) - 1;
    return ForEachRow(self, result.Height(), [&](uint32_t y) {
        float fyp = static_cast<float>(y) * fy;
        auto iy = static_cast<int64_t>(fyp);
        int64_t iy1 = std::min(lastRow, iy + 1);
        float dy = fyp - static_cast<float>(iy);
        for (uint32_t x = 0; x < W; ++x) {
            float fxp = static_cast<float>(x) * fx;
            auto ix = static_cast<int64_t>(fxp);
            int64_t ix1 = std::min(lastColumn, ix + 1);
            float dx = fxp - static_cast<float>(ix);
            const RGBQUAD c[4] = {source.PixelColor(ix, iy), source.PixelColor(ix1, iy), source.PixelColor(ix, iy1),
                                  source.PixelColor(ix1, iy1)};
            result.StoreColor(x, y, BlendColors(1 - dx, dx, 1 - dy, dy, c));
        }
    });
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

    return ForEachRow(self, H, [&](uint32_t y) {
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
                const RGBQUAD c[4] = {palette[IndexAt(r0, ix[x], depth)], palette[IndexAt(r0, ix1[x], depth)],
                                      palette[IndexAt(r1, ix[x], depth)], palette[IndexAt(r1, ix1[x], depth)]};
                PutIndex(out, x, depth, nearest.Lookup(BlendColors(wx[x], dx[x], wy, dy, c)));
            }
        }
    });
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
class AreaScaler {
public:
    AreaScaler(const CPixImage& source, CPixImage& result, float fx, float fy)
        : source_(source), result_(result), fx_(fx), fy_(fy), W_(result.Width()), H_(result.Height()),
          width_(source.Width()) {}

    /// False when the working memory cannot be had.
    bool Run() {
        if (!MapColumns() || !AllocateSums())
            return false;
        float ty = fy_ - 1;
        uint32_t rowsWritten = 0;
        for (uint32_t y = 0; y < source_.Height(); ++y) {
            const uint8_t* in = source_.Row(y);
            if (static_cast<float>(y) < ty) {
                AddInnerRow(in);
                continue;
            }
            // This source row lies on the boundary to the next output row: ey thousandths of it
            // belong to the next row.
            const int64_t ey =
                std::clamp<int64_t>(static_cast<int64_t>((static_cast<float>(y) - ty) * kUnit), 0, kUnit);
            uint8_t* out = rowsWritten < H_ ? result_.Row(rowsWritten) : nullptr;
            AddBoundaryRow(in, ey, out);
            if (out)
                FinishRow(out, std::min(crossings_, W_));
            std::swap(current_, next_);
            next_[0] = next_[1] = next_[2] = 0;
            ty += fy_;
            ++rowsWritten;
        }
        FinishPicture(rowsWritten);
        return true;
    }

private:
    static constexpr int32_t kUnit = 1000;  // a whole pixel, in the thousandths the sums count

    /// The output column of every source column and, for one on a column boundary, the
    /// thousandths of it that belong to the next column.
    bool MapColumns() {
        columnOf_ = NewArray<uint32_t>(width_);
        splitOf_ = NewArray<int32_t>(width_);
        if (!columnOf_ || !splitOf_)
            return false;
        float tx = fx_ - 1;
        for (uint32_t x = 0; x < width_; ++x) {
            columnOf_[x] = crossings_;
            if (static_cast<float>(x) < tx) {
                splitOf_[x] = -1;
            } else {
                auto ex = static_cast<int32_t>((static_cast<float>(x) - tx) * kUnit);
                splitOf_[x] = std::clamp(ex, 0, kUnit);
                ++crossings_;
                tx += fx_;
            }
        }
        return true;
    }

    bool AllocateSums() {
        size_t slots = 3 * (static_cast<size_t>(std::max(crossings_, W_)) + 2);
        first_ = NewArray<int64_t>(slots);
        second_ = NewArray<int64_t>(slots);
        current_ = first_.get();
        next_ = second_.get();
        divisor_ = static_cast<int64_t>(fx_ * fy_ * kUnit);
        return first_ && second_;
    }

    uint8_t OutputByte(int64_t sum) const { return static_cast<uint8_t>(std::min<int64_t>(sum / divisor_, 255)); }

    /// A source row inside the output row being built.
    void AddInnerRow(const uint8_t* in) {
        for (uint32_t x = 0; x < width_; ++x) {
            const uint8_t* p = in + 3 * static_cast<size_t>(x);
            int64_t* acc = current_ + 3 * static_cast<size_t>(columnOf_[x]);
            int32_t ex = splitOf_[x];
            if (ex < 0) {
                acc[0] += p[0] * kUnit;
                acc[1] += p[1] * kUnit;
                acc[2] += p[2] * kUnit;
            } else {
                for (int ch = 0; ch < 3; ++ch) {
                    acc[ch] += static_cast<int64_t>(p[ch]) * (kUnit - ex);
                    acc[3 + ch] += static_cast<int64_t>(p[ch]) * ex;
                }
            }
        }
    }

    /// A source row on an output row boundary: its share of the current row completes the columns
    /// it crosses into `out` (when that row is written), the rest starts the next row.
    void AddBoundaryRow(const uint8_t* in, int64_t ey, uint8_t* out) {
        for (uint32_t x = 0; x < width_; ++x) {
            const uint8_t* p = in + 3 * static_cast<size_t>(x);
            uint32_t col = columnOf_[x];
            int64_t* cur = current_ + 3 * static_cast<size_t>(col);
            int64_t* nxt = next_ + 3 * static_cast<size_t>(col);
            int64_t ex = splitOf_[x];
            if (ex < 0) {
                for (int ch = 0; ch < 3; ++ch) {
                    cur[ch] += p[ch] * (kUnit - ey);
                    nxt[ch] += p[ch] * ey;
                }
                continue;
            }
            for (int ch = 0; ch < 3; ++ch) {
                int64_t v = p[ch];
                cur[ch] += v * (kUnit - ey) * (kUnit - ex) / kUnit;
                if (out && col < W_)
                    out[3 * static_cast<size_t>(col) + ch] = OutputByte(cur[ch]);
                nxt[ch] += v * (kUnit - ex) * ey / kUnit;
                cur[3 + ch] += v * (kUnit - ey) * ex / kUnit;
                // The next row's accumulator of a new column starts here: set, not added.
                nxt[3 + ch] = v * ey * ex / kUnit;
            }
        }
    }

    /// Writes the last column from current[] when the row has not written it yet, and repeats it
    /// in the columns the row did not reach.
    void FinishRow(uint8_t* out, uint32_t written) const {
        if (written >= W_)
            return;
        uint32_t col = std::min(crossings_, W_ - 1);
        if (written <= col) {
            for (int ch = 0; ch < 3; ++ch)
                out[3 * static_cast<size_t>(col) + ch] = OutputByte(current_[3 * static_cast<size_t>(col) + ch]);
        }
        for (uint32_t c = col + 1; c < W_; ++c)
            std::memcpy(out + 3 * static_cast<size_t>(c), out + 3 * static_cast<size_t>(col), 3);
    }

    /// The row still being collected, then rows rounding kept from being reached repeat the last.
    void FinishPicture(uint32_t rowsWritten) {
        if (rowsWritten < H_) {
            uint8_t* out = result_.Row(rowsWritten);
            for (size_t i = 0; i < 3 * static_cast<size_t>(W_); ++i)
                out[i] = OutputByte(current_[i]);
            ++rowsWritten;
        }
        for (uint32_t y = rowsWritten; y < H_; ++y)
            std::memcpy(result_.Row(y), result_.Row(y - 1), result_.EffectiveWidth());
    }

    const CPixImage& source_;
    CPixImage& result_;
    const float fx_, fy_;
    const uint32_t W_, H_;
    const uint32_t width_;
    std::unique_ptr<uint32_t[]> columnOf_;
    std::unique_ptr<int32_t[]> splitOf_;  // -1 inside an output column, else ex
    uint32_t crossings_ = 0;
    std::unique_ptr<int64_t[]> first_, second_;
    int64_t* current_ = nullptr;
    int64_t* next_ = nullptr;
    int64_t divisor_ = 1;
};

// A rotation by an angle: its cosine and sine, and the bounding box of the turned corners, which
// is the result's size.
struct Rotation {
    double c = 0, s = 0;
    int64_t minX = 0, minY = 0;  // the turned picture's lowest coordinates
    int64_t width = 0, height = 0;
};

Rotation RotationFor(float angle, int64_t width, int64_t height) {
    // A positive angle turns clockwise on the screen; with y counting up from the bottom row that
    // is a negative angle in the mathematical sense.
    const double a = static_cast<double>(-angle) * std::acos(0.0) / 90;
    Rotation r;
    r.c = std::cos(a);
    r.s = std::sin(a);
    // The corners are deliberately not symmetric: (width, 0) but (width - 1, height).
    const double corners[4][2] = {{0, 0},
                                  {static_cast<double>(width), 0},
                                  {0, static_cast<double>(height)},
                                  {static_cast<double>(width - 1), static_cast<double>(height)}};
    int64_t maxX = INT64_MIN, maxY = INT64_MIN;
    r.minX = r.minY = INT64_MAX;
    for (const auto& corner : corners) {
        auto rx = static_cast<int64_t>(corner[0] * r.c - corner[1] * r.s);
        auto ry = static_cast<int64_t>(corner[0] * r.s + corner[1] * r.c);
        r.minX = std::min(r.minX, rx);
        maxX = std::max(maxX, rx);
        r.minY = std::min(r.minY, ry);
        maxY = std::max(maxY, ry);
    }
    r.width = maxX - r.minX;
    r.height = maxY - r.minY;
    return r;
}

// (first + i) * factor for i below count.
std::vector<double> Products(int64_t first, size_t count, double factor) {
    std::vector<double> products(count);
    for (size_t i = 0; i < count; ++i)
        products[i] = static_cast<double>(first + static_cast<int64_t>(i)) * factor;
    return products;
}

// Fills the rotated picture. The loop runs to maxY and maxX inclusive; the last row and column
// fall outside the result and are left out. Output rows are filled band by band (progress and
// escape are looked at per band). Returns the row it stopped at (the height when it ran to the
// end).
uint32_t FillRotated(CPixImage& self, CPixImage& result, const Rotation& r) {
    const int64_t width = self.Width(), height = self.Height();
    const uint32_t depth = self.BitsPerPixel();
    const int32_t background = self.Info().backgroundIndex;
    const uint8_t outsideIndex = background != -1 ? static_cast<uint8_t>(background) : 0;
    const RGBQUAD outsideColor = self.Info().backgroundColor;
    const uint8_t* sourceAlpha = self.AlphaPlane();
    uint8_t* resultAlpha = result.AlphaPlane();

    // x * c and x * s of every column of the loop, the same products the formula forms per pixel.
    const std::vector<double> xc = Products(r.minX, static_cast<size_t>(r.width), r.c);
    const std::vector<double> xs = Products(r.minX, static_cast<size_t>(r.width), r.s);
    const uint32_t W = result.Width(), H = result.Height();
    const uint8_t* bits = self.PixelBits();
    const size_t stride = self.EffectiveWidth();
    uint8_t* outBits = result.PixelBits();
    const size_t outStride = result.EffectiveWidth();
    for (uint32_t band = 0; band < H; band += kBandRows) {
        SetProgress(self, band, H);
        if (StopRequested(self))
            return band;
        const uint32_t rows = std::min(kBandRows, H - band);
        const std::vector<double> ys = Products(r.minY + band, rows, r.s);
        const std::vector<double> yc = Products(r.minY + band, rows, r.c);
        // Where output pixel (nx, ny) of the band comes from; false outside the picture.
        auto locate = [&](uint32_t nx, uint32_t ny, int64_t& sx, int64_t& sy) {
            sx = static_cast<int64_t>(xc[nx] + ys[ny - band] - 0.5);
            sy = static_cast<int64_t>(yc[ny - band] - xs[nx] - 0.5);
            return sx >= 0 && sy >= 0 && sx < width && sy < height;
        };
        auto storeAlpha = [&](uint32_t nx, uint32_t ny, bool inside, int64_t sx, int64_t sy) {
            if (resultAlpha)
                resultAlpha[static_cast<size_t>(ny) * W + nx] =
                    inside && sourceAlpha ? sourceAlpha[static_cast<size_t>(sy) * width + sx] : 0;
        };
        // The depth is tested once per band, not per pixel.
        if (depth == 24) {
            ForEachInBand(band, rows, W, [&](uint32_t nx, uint32_t ny) {
                int64_t sx, sy;
                const bool inside = locate(nx, ny, sx, sy);
                // An RGBQUAD starts with blue, green, red, as a 24-bit pixel does.
                const uint8_t* from = inside ? bits + static_cast<size_t>(sy) * stride + 3 * sx
                                             : reinterpret_cast<const uint8_t*>(&outsideColor);
                std::memcpy(outBits + ny * outStride + 3 * static_cast<size_t>(nx), from, 3);
                storeAlpha(nx, ny, inside, sx, sy);
            });
        } else {
            ForEachInBand(band, rows, W, [&](uint32_t nx, uint32_t ny) {
                int64_t sx, sy;
                const bool inside = locate(nx, ny, sx, sy);
                const uint8_t index =
                    inside ? IndexAt(bits + static_cast<size_t>(sy) * stride, static_cast<uint32_t>(sx), depth)
                           : outsideIndex;
                PutIndex(outBits + ny * outStride, nx, depth, index);
                storeAlpha(nx, ny, inside, sx, sy);
            });
        }
    }
    return H;
}

// The alpha plane is sampled nearest-neighbour in every mode.
void ScaleAlpha(const CPixImage& source, CPixImage& result, float fx, float fy) {
    const uint32_t W = result.Width(), H = result.Height();
    bool columnsInside = false;
    std::vector<uint32_t> sx = NearestTable(W, fx, source.Width(), columnsInside);
    for (uint32_t y = 0; y < H; ++y) {
        auto sy = static_cast<int64_t>(static_cast<float>(y) * fy);
        uint8_t* out = result.AlphaPlane() + static_cast<size_t>(y) * W;
        if (columnsInside && sy < source.Height()) {
            const uint8_t* in = source.AlphaPlane() + static_cast<size_t>(sy) * source.Width();
            for (uint32_t x = 0; x < W; ++x)
                out[x] = in[sx[x]];
        } else {
            for (uint32_t x = 0; x < W; ++x)
                out[x] = source.AlphaValue(static_cast<int64_t>(static_cast<float>(x) * fx), sy);
        }
    }
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
    if (!MakeResult(*this, W, H, result))
        return false;
    uint32_t rowsDone = H;
    if (mode != 0) {
        rowsDone = ScaleNearest(*this, *this, result, fx, fy);
    } else if (W < Width() && H < Height() && BitsPerPixel() == 24) {
        if (!AreaScaler(*this, result, fx, fy).Run()) {
            SetLastError(kNoMemory);
            return false;
        }
    } else {
        rowsDone = ScaleBilinear(*this, *this, result, fx, fy);
    }
    FinishRows(*this, result, rowsDone);
    if (alpha_)
        ScaleAlpha(*this, result, fx, fy);
    HandOverRunning(*this, result, nullptr);
    return true;
}

bool CPixImage::FlipVertical() {
    if (!block_)
        return false;
    const uint32_t width = Width(), height = Height();
    CPixImage result;
    if (!MakeResult(*this, width, height, result))
        return false;
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
    if (!MakeResult(*this, width, height, result))
        return false;
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
    const Rotation rotation = RotationFor(angle, Width(), Height());
    if (rotation.width <= 0 || rotation.height <= 0) {
        SetLastError("The rotated image would have no pixels");
        return false;
    }
    if (rotation.width > INT32_MAX || rotation.height > INT32_MAX) {
        SetLastError(kNoMemory);
        return false;
    }
    CPixImage result;
    if (!MakeResult(*this, static_cast<uint32_t>(rotation.width), static_cast<uint32_t>(rotation.height), result))
        return false;
    FinishRows(*this, result, FillRotated(*this, result, rotation));
    HandOverRunning(*this, result, destination);
    return true;
}

namespace {

// A quarter turn into a result of the source's height by its width: result pixel (x, y) comes
// from source pixel from(x, y).
template <typename From>
bool Turn(CPixImage& source, CPixImage* destination, From from) {
    CPixImage result;
    if (!MakeResult(source, source.Height(), source.Width(), result))
        return false;
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
    (destination ? *destination : source).TakeOver(result);
    return true;
}

}  // namespace

bool CPixImage::TurnLeft(CPixImage* destination) {
    if (!block_)
        return false;
    // Result column i, row j shows source column j, row height - 1 - i.
    const uint32_t height = Height();
    return Turn(*this, destination,
                [height](uint32_t i, uint32_t j) { return std::pair<uint32_t, uint32_t>{j, height - 1 - i}; });
}

bool CPixImage::TurnRight(CPixImage* destination) {
    if (!block_)
        return false;
    // Result column j, row i shows source column width - 1 - i, row j.
    const uint32_t width = Width();
    return Turn(*this, destination,
                [width](uint32_t j, uint32_t i) { return std::pair<uint32_t, uint32_t>{width - 1 - i, j}; });
}
