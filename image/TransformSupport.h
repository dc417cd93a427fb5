#pragma once
// Small helpers shared by the geometric operations and the pixel adjustments: packed palette
// indices read and written straight in a pixel row, and the progress / stop fields of a running
// operation.

#include <atomic>
#include <cstdint>

#include "image/PixImage.h"

namespace pixtransform {

/// The palette index at column x of a 1, 4 or 8-bit row, packed as PixelIndex reads it.
inline uint8_t IndexAt(const uint8_t* row, uint32_t x, uint32_t depth) {
    switch (depth) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

/// Writes the low 8, 4 or 1 bits of an index at column x, keeping the other bits of the byte.
inline void PutIndex(uint8_t* row, uint32_t x, uint32_t depth, uint8_t index) {
    switch (depth) {
    case 8:
        row[x] = index;
        break;
    case 4: {
        uint8_t& byte = row[x >> 1];
        if (x & 1)
            byte = static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
        else
            byte = static_cast<uint8_t>((byte & 0x0F) | ((index & 0x0F) << 4));
        break;
    }
    default: {
        uint8_t& byte = row[x >> 3];
        auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
        byte = (index & 1) ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
        break;
    }
    }
}

/// Bytes of a row that hold pixels (a partly used last byte counts); the rest is padding.
inline uint32_t UsedRowBytes(uint32_t width, uint32_t depth) {
    return static_cast<uint32_t>((static_cast<uint64_t>(width) * depth + 7) / 8);
}

// Another thread may set escape or read progress while an operation runs; both are plain fields
// of ImageInfo, so they are accessed atomically here.
inline bool StopRequested(CPixImage& image) {
    return std::atomic_ref<uint32_t>(image.Info().escape).load(std::memory_order_relaxed) != 0;
}

inline void SetProgress(CPixImage& image, uint64_t done, uint64_t total) {
    auto percent = static_cast<int32_t>(total ? 100 * done / total : 100);
    std::atomic_ref<int32_t>(image.Info().progress).store(percent, std::memory_order_relaxed);
}

}  // namespace pixtransform
