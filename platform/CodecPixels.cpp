#include "platform/CodecPixels.h"

#include <algorithm>
#include <cstring>

#include "base/DibRows.h"

bool ParseDibFormat(const BITMAPINFOHEADER* header, size_t formatBytes, DibLayout& layout) {
    if (!header || header->biSize < sizeof(BITMAPINFOHEADER) || header->biCompression != BI_RGB)
        return false;
    if (header->biPlanes != 1 && header->biPlanes != 0)
        return false;
    uint32_t bits = header->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        return false;
    // Only bottom-up pictures: the frames handed over are the image object's own rows.
    if (header->biWidth <= 0 || header->biHeight <= 0)
        return false;
    uint64_t width = static_cast<uint64_t>(header->biWidth);
    uint64_t height = static_cast<uint64_t>(header->biHeight);
    if (width > kMaxFrameSide || height > kMaxFrameSide || width * height > kMaxFramePixels)
        return false;

    layout.width = static_cast<uint32_t>(width);
    layout.height = static_cast<uint32_t>(height);
    layout.bitCount = bits;
    layout.stride = static_cast<uint32_t>(dib::RowBytes(width, bits));
    layout.imageBytes = static_cast<uint64_t>(layout.stride) * height;
    layout.palette.clear();
    if (bits <= 8) {
        uint32_t capacity = 1u << bits;
        layout.palette.assign(capacity, RGBQUAD{0, 0, 0, 0});
        uint32_t used = header->biClrUsed == 0 ? capacity : header->biClrUsed;
        if (used > capacity)
            used = capacity;
        if (formatBytes >= header->biSize) {
            size_t available = (formatBytes - header->biSize) / sizeof(RGBQUAD);
            if (used > available)
                used = static_cast<uint32_t>(available);
            const auto* source = reinterpret_cast<const uint8_t*>(header) + header->biSize;
            std::memcpy(layout.palette.data(), source, used * sizeof(RGBQUAD));
        }
    }
    return true;
}

void DibRowToIndexes(const DibLayout& layout, const uint8_t* bits, uint32_t yFromTop, uint8_t* indexes) {
    const uint8_t* row = bits + static_cast<size_t>(layout.height - 1 - yFromTop) * layout.stride;
    if (layout.bitCount == 8) {
        std::memcpy(indexes, row, layout.width);
        return;
    }
    for (uint32_t x = 0; x < layout.width; ++x)
        indexes[x] = dib::IndexAt(row, x, layout.bitCount);
}

void DibRowToBgr(const DibLayout& layout, const uint8_t* bits, uint32_t yFromTop, uint8_t* bgr) {
    if (layout.bitCount == 24) {
        const uint8_t* row = bits + static_cast<size_t>(layout.height - 1 - yFromTop) * layout.stride;
        std::memcpy(bgr, row, static_cast<size_t>(layout.width) * 3);
        return;
    }
    // Paletted: the indexes are expanded in place from the right end of the output row, which
    // is three times longer than the index row, so no index is overwritten before it is read.
    uint8_t* indexes = bgr + static_cast<size_t>(layout.width) * 2;
    DibRowToIndexes(layout, bits, yFromTop, indexes);
    for (uint32_t x = 0; x < layout.width; ++x) {
        const RGBQUAD& c = layout.palette[indexes[x]];
        bgr[3 * x] = c.rgbBlue;
        bgr[3 * x + 1] = c.rgbGreen;
        bgr[3 * x + 2] = c.rgbRed;
    }
}

void DibToBgr(const DibLayout& layout, const uint8_t* bits, std::vector<uint8_t>& bgr) {
    size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    bgr.resize(rowBytes * layout.height);
    for (uint32_t y = 0; y < layout.height; ++y)
        DibRowToBgr(layout, bits, y, bgr.data() + rowBytes * y);
}

namespace {

// Fixed-point BT.601 studio-range coefficients scaled by 2^16.
inline uint8_t LumaOf(int b, int g, int r) {
    return static_cast<uint8_t>((16829 * r + 33039 * g + 6416 * b + (16 << 16) + 32768) >> 16);
}
inline uint8_t CbOf(int b, int g, int r) {
    return static_cast<uint8_t>((-9714 * r - 19070 * g + 28784 * b + (128 << 16) + 32768) >> 16);
}
inline uint8_t CrOf(int b, int g, int r) {
    return static_cast<uint8_t>((28784 * r - 24103 * g - 4681 * b + (128 << 16) + 32768) >> 16);
}

}  // namespace

void BgrToYuv(const uint8_t* bgr, ptrdiff_t bgrStride, uint32_t width, uint32_t height, int chromaShiftX,
              int chromaShiftY, uint8_t* y, ptrdiff_t yStride, uint8_t* u, ptrdiff_t uStride, uint8_t* v,
              ptrdiff_t vStride) {
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* p = bgr + bgrStride * static_cast<ptrdiff_t>(row);
        uint8_t* out = y + yStride * row;
        for (uint32_t x = 0; x < width; ++x)
            out[x] = LumaOf(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
    }
    const uint32_t chromaWidth = (width + (1u << chromaShiftX) - 1) >> chromaShiftX;
    const uint32_t chromaHeight = (height + (1u << chromaShiftY) - 1) >> chromaShiftY;
    for (uint32_t cy = 0; cy < chromaHeight; ++cy) {
        uint8_t* uRow = u + uStride * cy;
        uint8_t* vRow = v + vStride * cy;
        const uint32_t top = cy << chromaShiftY;
        const uint32_t rows = std::min(1u << chromaShiftY, height - top);
        const uint8_t* p0 = bgr + bgrStride * static_cast<ptrdiff_t>(top);
        const uint8_t* p1 = bgr + bgrStride * static_cast<ptrdiff_t>(top + rows - 1);
        uint32_t cx = 0;
        if (chromaShiftX == 1 && chromaShiftY == 1 && rows == 2) {
            // Whole 2 x 2 blocks: the average of four, rounded as below.
            for (; cx < width / 2; ++cx) {
                const uint8_t* a = p0 + 6 * cx;
                const uint8_t* b = p1 + 6 * cx;
                const int blue = (a[0] + a[3] + b[0] + b[3] + 2) >> 2;
                const int green = (a[1] + a[4] + b[1] + b[4] + 2) >> 2;
                const int red = (a[2] + a[5] + b[2] + b[5] + 2) >> 2;
                uRow[cx] = CbOf(blue, green, red);
                vRow[cx] = CrOf(blue, green, red);
            }
        } else if (chromaShiftX == 0 && chromaShiftY == 0) {
            for (; cx < width; ++cx) {
                uRow[cx] = CbOf(p0[3 * cx], p0[3 * cx + 1], p0[3 * cx + 2]);
                vRow[cx] = CrOf(p0[3 * cx], p0[3 * cx + 1], p0[3 * cx + 2]);
            }
        }
        for (; cx < chromaWidth; ++cx) {
            // Average the block of source pixels this chroma sample covers (fewer at odd edges).
            int b = 0, g = 0, r = 0, n = 0;
            for (uint32_t sy = top; sy < top + rows; ++sy) {
                const uint8_t* p = bgr + bgrStride * static_cast<ptrdiff_t>(sy);
                for (uint32_t sx = cx << chromaShiftX; sx < ((cx + 1) << chromaShiftX) && sx < width; ++sx) {
                    b += p[3 * sx];
                    g += p[3 * sx + 1];
                    r += p[3 * sx + 2];
                    ++n;
                }
            }
            b = (b + n / 2) / n;
            g = (g + n / 2) / n;
            r = (r + n / 2) / n;
            uRow[cx] = CbOf(b, g, r);
            vRow[cx] = CrOf(b, g, r);
        }
    }
}
