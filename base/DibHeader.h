#pragma once
// The information header as files store it: forty little-endian bytes, read and written field by
// field so that neither the host's byte order nor the struct's layout matters.

#include <cstdint>

#include "base/ByteOrder.h"
#include "base/DibTypes.h"

namespace dib {

constexpr uint32_t kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);

inline BITMAPINFOHEADER ReadInfoHeader(const uint8_t* p) {
    BITMAPINFOHEADER h;
    h.biSize = le::ReadU32(p);
    h.biWidth = le::ReadI32(p + 4);
    h.biHeight = le::ReadI32(p + 8);
    h.biPlanes = le::ReadU16(p + 12);
    h.biBitCount = le::ReadU16(p + 14);
    h.biCompression = le::ReadU32(p + 16);
    h.biSizeImage = le::ReadU32(p + 20);
    h.biXPelsPerMeter = le::ReadI32(p + 24);
    h.biYPelsPerMeter = le::ReadI32(p + 28);
    h.biClrUsed = le::ReadU32(p + 32);
    h.biClrImportant = le::ReadU32(p + 36);
    return h;
}

inline void WriteInfoHeader(uint8_t* p, const BITMAPINFOHEADER& h) {
    le::WriteU32(p, h.biSize);
    le::WriteI32(p + 4, h.biWidth);
    le::WriteI32(p + 8, h.biHeight);
    le::WriteU16(p + 12, h.biPlanes);
    le::WriteU16(p + 14, h.biBitCount);
    le::WriteU32(p + 16, h.biCompression);
    le::WriteU32(p + 20, h.biSizeImage);
    le::WriteI32(p + 24, h.biXPelsPerMeter);
    le::WriteI32(p + 28, h.biYPelsPerMeter);
    le::WriteU32(p + 32, h.biClrUsed);
    le::WriteU32(p + 36, h.biClrImportant);
}

}  // namespace dib
