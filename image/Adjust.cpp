// The pixel adjustments: brightness and contrast, conversion to 8-bit gray and the mean gray level.
// Each per-channel rule depends only on the channel's value, so it is worked out once per value
// into a table and applied to the rows directly; the results are those of reading and writing
// every pixel through PixelColor / StoreColor.

#include <algorithm>
#include <array>
#include <cstring>

#include "base/DibRows.h"
#include "image/PixImage.h"
#include "image/TransformSupport.h"

using dib::IndexAt;

namespace {

// The weighted gray level of a colour, (30 red + 59 green + 11 blue) div 100.
inline uint8_t GrayOf(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint8_t>((30 * red + 59 * green + 11 * blue) / 100);
}

// Gray level of every palette index; indices beyond the palette read as black, as PixelColor
// gives them.
std::array<uint8_t, 256> PaletteGrays(const CPixImage& image) {
    std::array<uint8_t, 256> grays{};
    for (uint32_t i = 0; i < 256; ++i) {
        RGBQUAD entry = image.PaletteEntry(static_cast<uint8_t>(i));
        grays[i] = GrayOf(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
    }
    return grays;
}

// Writes the gray level of every pixel of `source` into the 8-bit image `gray` of the same size.
void FillGray(const CPixImage& source, CPixImage& gray) {
    const uint32_t width = source.Width(), height = source.Height();
    const uint32_t depth = source.BitsPerPixel();
    std::array<uint8_t, 256> grays{};
    if (depth < 24)
        grays = PaletteGrays(source);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = source.Row(y);
        uint8_t* out = gray.Row(y);
        if (depth == 24) {
            for (uint32_t x = 0; x < width; ++x, in += 3)
                out[x] = GrayOf(in[2], in[1], in[0]);
        } else {
            for (uint32_t x = 0; x < width; ++x)
                out[x] = grays[IndexAt(in, x, depth)];
        }
        std::memset(out + width, 0, gray.EffectiveWidth() - width);
    }
}

}  // namespace

bool CPixImage::AdjustLight(int32_t brightness, int32_t contrast) {
    if (!block_)
        return false;
    // v' = trunc(b + c (v - 128) + 128) clamped to 0..255, with c = k / 100 in single precision
    // (k = 100 gives exactly 1). A value at or above 255 truncates to at least 255 and one at or
    // below 0 to at most 0, so clamping before the conversion gives the same bytes and never
    // converts an out-of-range float.
    const float c = static_cast<float>(contrast) * 0.01f;
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        float value = static_cast<float>(brightness) + c * static_cast<float>(v - 128) + 128;
        if (value >= 255)
            table[v] = 255;
        else if (value <= 0)
            table[v] = 0;
        else
            table[v] = static_cast<uint8_t>(static_cast<int32_t>(value));
    }

    if (RGBQUAD* palette = PaletteEntries()) {
        // A paletted image changes only its palette; the indices stay.
        for (uint32_t i = 0; i < PaletteCount(); ++i) {
            palette[i].rgbRed = table[palette[i].rgbRed];
            palette[i].rgbGreen = table[palette[i].rgbGreen];
            palette[i].rgbBlue = table[palette[i].rgbBlue];
        }
        return true;
    }
    if (BitsPerPixel() != 24)
        return true;

    const int64_t width = Width(), height = Height();
    int64_t left = 0, right = width, bottom = 0, top = height;
    const uint8_t* mask = selection_.get();
    if (mask) {
        // Only the selection's bounding box is visited, and in it only the selected pixels.
        left = std::max<int64_t>(info_.selectionLeft, 0);
        right = std::min<int64_t>(info_.selectionRight, width);
        bottom = std::max<int64_t>(info_.selectionBottom, 0);
        top = std::min<int64_t>(info_.selectionTop, height);
    }
    for (int64_t y = bottom; y < top; ++y) {
        uint8_t* row = Row(static_cast<uint32_t>(y));
        const uint8_t* selected = mask ? mask + y * width : nullptr;
        for (int64_t x = left; x < right; ++x) {
            if (selected && !selected[x])
                continue;
            uint8_t* p = row + 3 * x;
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
    return true;
}

bool CPixImage::ToGray() {
    if (!block_)
        return false;
    const uint32_t depth = BitsPerPixel();

    if (depth == 8) {
        // Every byte of the rows, padding included, becomes the gray level of its palette entry;
        // the palette then becomes the identity gray ramp over all 256 entries (a palette the
        // decoder had shortened would not reach the gray levels the pixels now hold).
        std::array<uint8_t, 256> grays = PaletteGrays(*this);
        if (info_.backgroundIndex != -1)
            info_.backgroundIndex = grays[static_cast<uint8_t>(info_.backgroundIndex)];
        uint8_t* bytes = info_.pixels;
        for (size_t i = 0; i < header_.biSizeImage; ++i)
            bytes[i] = grays[bytes[i]];
        header_.biClrUsed = paletteCapacity_;
        MakeGrayPalette();
        return true;
    }

    // 1, 4 and 24 bits: a new 8-bit image with a fresh ImageInfo (72 dpi, no transparency). It is
    // made before anything of this image changes, so a failure leaves the image as it was.
    CPixImage gray(Type());
    if (!gray.Allocate(Width(), Height(), 8, Type())) {
        SetLastError("Not enough memory for the gray image");
        return false;
    }
    gray.MakeGrayPalette();
    if (alpha_ && !gray.AlphaCopyFrom(*this)) {
        SetLastError("Not enough memory for the gray image");
        return false;
    }
    FillGray(*this, gray);
    TakeOver(gray);
    return true;
}

float CPixImage::MeanGray() const {
    if (!block_)
        return 0.0f;
    const int64_t width = Width(), height = Height();
    int64_t left = 0, right = width, bottom = 0, top = height;
    if (selection_) {
        left = std::max<int64_t>(info_.selectionLeft, 0);
        right = std::min<int64_t>(info_.selectionRight, width);
        bottom = std::max<int64_t>(info_.selectionBottom, 0);
        top = std::min<int64_t>(info_.selectionTop, height);
    }
    if (right <= left || top <= bottom)
        return 0.0f;

    const uint32_t depth = BitsPerPixel();
    std::array<uint8_t, 256> grays{};
    if (depth < 24)
        grays = PaletteGrays(*this);
    uint64_t sum = 0;
    for (int64_t y = bottom; y < top; ++y) {
        const uint8_t* row = Row(static_cast<uint32_t>(y));
        if (depth == 24) {
            for (int64_t x = left; x < right; ++x) {
                const uint8_t* p = row + 3 * x;
                sum += GrayOf(p[2], p[1], p[0]);
            }
        } else {
            for (int64_t x = left; x < right; ++x)
                sum += grays[IndexAt(row, static_cast<uint32_t>(x), depth)];
        }
    }
    long double mean = static_cast<long double>(sum) / static_cast<long double>(right - left) /
                       static_cast<long double>(top - bottom);
    return static_cast<float>(mean);
}
