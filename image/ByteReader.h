#pragma once
// Bounded reads over an ImageStream, shared by the decoders of the formats the program reads
// without a library (BMP, ICO, TGA, PCX, GIF).

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/ByteOrder.h"
#include "image/ImageStream.h"


/// Reads exactly `size` bytes; false on a short read.
inline bool ReadExact(ImageStream& stream, void* buffer, size_t size) {
    return size == 0 || stream.ReadItems(buffer, 1, size) == size;
}

/// Bytes between the stream's position and its end; -1 when the stream cannot tell.
inline int64_t BytesLeft(ImageStream& stream) {
    int64_t length = stream.Length();
    int64_t position = stream.Position();
    if (length < 0 || position < 0)
        return -1;
    return position < length ? length - position : 0;
}

/// True when the stream is known to hold fewer than `needed` more bytes. A stream that cannot tell
/// its length is given the benefit of the doubt; its reads still fail when the data runs out.
inline bool KnownShorterThan(ImageStream& stream, uint64_t needed) {
    int64_t left = BytesLeft(stream);
    return left >= 0 && static_cast<uint64_t>(left) < needed;
}

/// Whether the rest of the stream can describe a picture of `pixels` pixels when each byte of
/// compressed data yields at most `pixelsPerByte` of them. Formats whose data may stop early or
/// skip areas (run-length bitmaps, GIF) still have their pictures cleared in full, so a header
/// that claims far more than its data can fill is refused before that work. Pictures of up to a
/// million pixels are always accepted; a stream that cannot tell its length is given the benefit
/// of the doubt.
inline bool DataCanFill(ImageStream& stream, uint64_t pixels, uint64_t pixelsPerByte) {
    constexpr uint64_t kAlwaysAccepted = 1u << 20;
    const int64_t left = BytesLeft(stream);
    return left < 0 || pixels <= kAlwaysAccepted + pixelsPerByte * static_cast<uint64_t>(left);
}

/// Reads a record of `Size` bytes and parses it field by field with `parse`; false on a short read.
template <size_t Size, typename Record>
bool ReadRecord(ImageStream& stream, Record& record, Record (*parse)(const uint8_t*)) {
    uint8_t bytes[Size];
    if (!ReadExact(stream, bytes, Size))
        return false;
    record = parse(bytes);
    return true;
}

/// Moves to an absolute offset; false when the offset is negative or the stream refuses.
inline bool SeekToOffset(ImageStream& stream, int64_t offset) {
    return offset >= 0 && stream.SeekTo(offset, SEEK_SET);
}
