// libFuzzer harness: arbitrary bytes decoded as a PNG. Mutations rarely keep the chunk
// checksums right, and libpng stops at the first wrong one; the harness recomputes them so that
// the fuzzer reaches the header handling, transformations and row code behind them. Pictures
// above 16 megapixels only cost time and are skipped, so that a timeout means a real hang.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/ImageStream.h"
#include "image/PixImage.h"

namespace {

uint32_t ReadBigEndian(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 24 && uint64_t{ReadBigEndian(data + 16)} * ReadBigEndian(data + 20) > (16u << 20))
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    // Chunks follow the 8-byte signature: length, type, data, CRC of type and data.
    for (size_t at = 8; at + 12 <= bytes.size();) {
        uint32_t length = ReadBigEndian(&bytes[at]);
        if (length > bytes.size() - at - 12)
            break;
        auto crc = static_cast<uint32_t>(crc32(0, &bytes[at + 4], length + 4));
        for (int i = 0; i < 4; ++i)
            bytes[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    ImageMemoryStream stream(bytes.data(), bytes.size());
    CPixImage image;
    image.DecodeStream(stream, Png);
    return 0;
}
