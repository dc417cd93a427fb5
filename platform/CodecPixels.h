#pragma once
// Uncompressed DIB frames as compressors see them: the checked layout of an input format and
// the conversions of its rows into the pixel layouts encoders take.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/WinTypes.h"

struct DibLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitCount = 0;  // 1, 4, 8 or 24
    uint32_t stride = 0;    // bytes per row, a multiple of 4
    uint64_t imageBytes = 0;
    std::vector<RGBQUAD> palette;  // 2^bitCount entries for paletted input (missing ones black)
};

/// Largest side and area a compressor takes.
constexpr uint32_t kMaxFrameSide = 32768;
constexpr uint64_t kMaxFramePixels = 1ull << 28;

/// Checks an uncompressed, bottom-up BI_RGB format of 1, 4, 8 or 24 bits and fills layout. The
/// palette (biClrUsed entries, or 2^bitCount when 0) is read only when formatBytes covers it;
/// pass formatBytes = 0 to check the header alone. False for anything else.
bool ParseDibFormat(const BITMAPINFOHEADER* header, size_t formatBytes, DibLayout& layout);

/// Row y counted from the top of the picture, as 8-bit B, G, R triples.
void DibRowToBgr(const DibLayout& layout, const uint8_t* bits, uint32_t yFromTop, uint8_t* bgr);
/// Row y counted from the top as palette indexes (paletted input only).
void DibRowToIndexes(const DibLayout& layout, const uint8_t* bits, uint32_t yFromTop, uint8_t* indexes);

/// The whole picture top-down as B, G, R triples (width * 3 bytes a row, no padding).
void DibToBgr(const DibLayout& layout, const uint8_t* bits, std::vector<uint8_t>& bgr);

/// Studio-range BT.601 conversion of BGR pixels into planes; row r of the picture (from the top)
/// starts at bgr + r * bgrStride (a negative stride walks a bottom-up DIB). Chroma planes are
/// subsampled by chromaShiftX/Y (0 or 1) with rounding up of odd sides, averaging each block.
void BgrToYuv(const uint8_t* bgr, ptrdiff_t bgrStride, uint32_t width, uint32_t height, int chromaShiftX,
              int chromaShiftY, uint8_t* y, ptrdiff_t yStride, uint8_t* u, ptrdiff_t uStride, uint8_t* v,
              ptrdiff_t vStride);
