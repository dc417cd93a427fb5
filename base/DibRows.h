#pragma once
// The row layout of a packed DIB: rows padded to whole 32-bit words, and palette indices of 1, 4
// or 8 bits packed from the most significant bit of each byte (the leftmost pixel first).

#include <cstdint>

namespace dib {

/// Bytes of one stored row of `width` pixels at `bitCount` bits, padded to a multiple of 4.
constexpr uint64_t RowBytes(uint64_t width, uint32_t bitCount) {
    return ((width * bitCount + 31) / 32) * 4;
}

/// Bytes of a row that hold pixels (a partly used last byte counts); the rest is padding.
constexpr uint64_t UsedRowBytes(uint64_t width, uint32_t bitCount) {
    return (width * bitCount + 7) / 8;
}

/// The palette index at column x of a 1, 4 or 8-bit row, or of a 2-bit row as PNG and PCX files
/// pack them.
inline uint8_t IndexAt(const uint8_t* row, uint32_t x, uint32_t bitCount) {
    switch (bitCount) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 2:
        return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    default:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

/// Writes the low 8, 4 or 1 bits of an index at column x, keeping the other bits of the byte.
inline void PutIndex(uint8_t* row, uint32_t x, uint32_t bitCount, uint8_t index) {
    switch (bitCount) {
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

}  // namespace dib
