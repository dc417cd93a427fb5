// Windows bitmap decoder: a file with its 14-byte file header or a bare packed DIB; core (12-byte),
// 40-byte and later information headers; 1, 4 and 8-bit palettes, 8- and 4-bit run-length data,
// 16-bit pixels with or without bit-field masks, 24 and 32 bits.

#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// File header, 14 bytes: type "BM" u16, file size u32, two reserved u16, pixel data offset u32.
constexpr size_t kFileHeaderSize = 14;
constexpr uint16_t kBitmapSignature = 0x4D42;

// The core header (12 bytes) of the oldest bitmaps, and the information header (40 bytes) whose
// fields every later header begins with.
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;

constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;

/// The header fields the decoder uses, whichever kind of header they came from.
struct BmpHeader {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // positive: the rows are stored top-down when topDown is set
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t colorsUsed = 0;
    bool core = false;
    bool topDown = false;
};

bool Fail(CPixImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

bool ReadInfoHeader(ImageStream& stream, BmpHeader& header) {
    uint8_t p[kInfoHeaderSize];
    if (!ReadExact(stream, p, kCoreHeaderSize))
        return false;
    header.headerSize = le::ReadU32(p);
    if (header.headerSize == kCoreHeaderSize) {
        header.core = true;
        header.width = le::ReadU16(p + 4);      // width (unsigned in the core header)
        header.height = le::ReadU16(p + 6);     // height, always bottom-up
        header.bitCount = le::ReadU16(p + 10);  // bits per pixel; planes at 8 are ignored
        return true;
    }
    if (header.headerSize < kInfoHeaderSize)
        return false;
    if (!ReadExact(stream, p + kCoreHeaderSize, kInfoHeaderSize - kCoreHeaderSize))
        return false;
    header.width = le::ReadI32(p + 4);
    int64_t height = le::ReadI32(p + 8);  // negative: rows run from the top down
    header.topDown = height < 0;
    header.height = height < 0 ? -height : height;
    header.bitCount = le::ReadU16(p + 14);
    header.compression = le::ReadU32(p + 16);
    header.xPelsPerMeter = le::ReadI32(p + 24);
    header.yPelsPerMeter = le::ReadI32(p + 28);
    header.colorsUsed = le::ReadU32(p + 32);
    return true;
}

/// The compression a depth allows, or the failure text for the combination.
const char* CompressionProblem(const BmpHeader& header) {
    switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
        if (header.compression == 0 || (header.compression == kRle8 && header.bitCount == 8) ||
            (header.compression == kRle4 && header.bitCount == 4))
            return nullptr;
        return "compression type not supported";
    case 16:
    case 32:
        return header.compression == 0 || header.compression == kBitFields ? nullptr : "unknown compression";
    case 24:
        return header.compression == 0 ? nullptr : "unknown compression";
    default:
        return "Unsupported BMP bit count";
    }
}

/// One colour channel of a bit-field pixel: where its bits sit and how many there are.
struct ChannelMask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit ChannelMask(uint32_t m) : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)) {}

    /// The channel scaled to 8 bits by keeping its top bits: a 5-bit 31 gives 248.
    uint8_t Extract(uint32_t pixel) const {
        uint32_t value = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(value >> (bits - 8));
        return static_cast<uint8_t>(value << (8 - bits));
    }
};

struct PixelMasks {
    ChannelMask red, green, blue;
};

/// Widens 16-bit pixels to blue, green, red bytes. For the usual 5-5-5 and 5-6-5 layouts this is
/// the top bits of each channel at the top of its byte.
void ExpandBitfields(const uint8_t* source, uint8_t* target, uint32_t width, const PixelMasks& masks) {
    for (uint32_t x = 0; x < width; ++x) {
        uint32_t w = le::ReadU16(source + 2 * static_cast<size_t>(x));
        target[3 * x] = masks.blue.Extract(w);
        target[3 * x + 1] = masks.green.Extract(w);
        target[3 * x + 2] = masks.red.Extract(w);
    }
}

/// Writes decoded run-length pixels into the bottom-up rows; writes outside the picture are dropped.
class RunWriter {
public:
    RunWriter(CPixImage& image, bool nibbles) : image_(image), nibbles_(nibbles) {}

    void Put(uint64_t x, uint64_t y, uint8_t value) {
        if (x >= image_.Width() || y >= image_.Height())
            return;
        uint8_t* row = image_.Row(static_cast<uint32_t>(y));
        if (!nibbles_) {
            row[x] = value;
        } else if (x & 1) {
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (value & 0x0F));
        } else {
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (value << 4));
        }
    }

private:
    CPixImage& image_;
    bool nibbles_;
};

/// Run-length data, 8 bits (a pixel per byte) or 4 bits (two pixels per byte, high nibble first).
/// Rows the data never reaches stay cleared. Data that stops between two codes ends the picture as
/// an end-of-bitmap code would; data that stops inside a code is a corrupt file.
bool DecodeRunLength(CPixImage& image, ImageStream& stream, bool nibbles) {
    std::memset(image.PixelBits(), 0, image.Header().biSizeImage);
    RunWriter out(image, nibbles);
    const uint64_t height = image.Height();
    uint64_t x = 0;
    uint64_t y = 0;
    while (y < height) {
        int count = stream.GetByte();
        if (count < 0)
            return true;
        int code = stream.GetByte();
        if (code < 0)
            return false;
        if (count > 0) {
            // An encoded run: `count` pixels of one byte (or of its two alternating nibbles).
            for (int i = 0; i < count; ++i) {
                uint8_t value = !nibbles ? static_cast<uint8_t>(code)
                              : (i & 1) ? static_cast<uint8_t>(code & 0x0F)
                                        : static_cast<uint8_t>(code >> 4);
                out.Put(x + static_cast<uint64_t>(i), y, value);
            }
            x += static_cast<uint64_t>(count);
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            return true;
        } else if (code == 2) {  // delta: move right and up
            int dx = stream.GetByte();
            int dy = stream.GetByte();
            if (dx < 0 || dy < 0)
                return false;
            x += static_cast<uint64_t>(dx);
            y += static_cast<uint64_t>(dy);
        } else {
            // An absolute run of `code` pixels stored as they are, padded to an even byte count.
            int bytes = nibbles ? (code + 1) / 2 : code;
            for (int i = 0; i < bytes; ++i) {
                int value = stream.GetByte();
                if (value < 0)
                    return false;
                if (!nibbles) {
                    out.Put(x + static_cast<uint64_t>(i), y, static_cast<uint8_t>(value));
                } else {
                    out.Put(x + 2 * static_cast<uint64_t>(i), y, static_cast<uint8_t>(value >> 4));
                    if (2 * i + 1 < code)
                        out.Put(x + 2 * static_cast<uint64_t>(i) + 1, y, static_cast<uint8_t>(value & 0x0F));
                }
            }
            if (bytes & 1)
                stream.GetByte();
            x += static_cast<uint64_t>(code);
        }
    }
    return true;
}

void FlipRows(CPixImage& image) {
    const size_t rowBytes = image.EffectiveWidth();
    std::vector<uint8_t> temp(rowBytes);
    for (uint32_t top = 0, bottom = image.Height() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(temp.data(), image.Row(top), rowBytes);
        std::memcpy(image.Row(top), image.Row(bottom), rowBytes);
        std::memcpy(image.Row(bottom), temp.data(), rowBytes);
    }
}

int32_t DpiFromPelsPerMeter(int32_t pelsPerMeter) {
    return static_cast<int32_t>(std::floor(pelsPerMeter * 0.0254 + 0.5));
}

}  // namespace

bool DecodeBmp(CPixImage& image, ImageStream& stream) {
    const int64_t start = stream.Position();
    uint8_t fileHeader[kFileHeaderSize];
    if (!ReadExact(stream, fileHeader, kFileHeaderSize))
        return Fail(image, "Not a BMP");
    uint32_t dataOffset = 0;
    int64_t headerStart = start + static_cast<int64_t>(kFileHeaderSize);
    if (le::ReadU16(fileHeader) == kBitmapSignature) {
        dataOffset = le::ReadU32(fileHeader + 10);  // pixel data offset from the start of the file
    } else {
        // No file header: the data is a bare packed DIB that starts with its information header.
        headerStart = start;
        if (!stream.SeekTo(start, SEEK_SET))
            return Fail(image, "Not a BMP");
    }

    BmpHeader header;
    if (!ReadInfoHeader(stream, header))
        return Fail(image, "Error reading BMP info");
    if (const char* problem = CompressionProblem(header))
        return Fail(image, problem);
    if (header.width < 0)
        header.width = 0;  // reported as an invalid size below
    if (!image.CheckDimensions(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height),
                               header.bitCount))
        return false;
    const auto width = static_cast<uint32_t>(header.width);
    const auto height = static_cast<uint32_t>(header.height);

    // Bit-field masks sit right after the first 40 header bytes: after a 40-byte header they follow
    // it, in the later headers they are part of it.
    PixelMasks masks{ChannelMask(0x7C00), ChannelMask(0x03E0), ChannelMask(0x001F)};
    if (header.bitCount == 32)
        masks = PixelMasks{ChannelMask(0x00FF0000), ChannelMask(0x0000FF00), ChannelMask(0x000000FF)};
    bool bitFields = header.compression == kBitFields;
    if (bitFields) {
        uint8_t m[12];
        if (!SeekToOffset(stream, headerStart + kInfoHeaderSize) || !ReadExact(stream, m, sizeof m))
            return Fail(image, "Error reading BMP info");
        uint32_t red = le::ReadU32(m), green = le::ReadU32(m + 4), blue = le::ReadU32(m + 8);
        if (red | green | blue)
            masks = PixelMasks{ChannelMask(red), ChannelMask(green), ChannelMask(blue)};
    }

    // The colour table follows the whole header (and the masks of a 40-byte header). A file may
    // store fewer entries than its depth allows; a packed DIB's pixels follow right after them.
    int64_t paletteStart = headerStart + header.headerSize;
    if (bitFields && header.headerSize == kInfoHeaderSize)
        paletteStart += 12;
    const uint32_t depthColors = header.bitCount <= 8 ? 1u << header.bitCount : 0;
    uint64_t fileColors = header.core ? depthColors : header.colorsUsed;
    if (fileColors == 0)
        fileColors = depthColors;
    const uint32_t entryBytes = header.core ? 3 : 4;
    const int64_t dataStart = dataOffset != 0 ? start + dataOffset
                                              : paletteStart + static_cast<int64_t>(fileColors * entryBytes);

    if (image.Info().escape)
        return Fail(image, "Cancelled");
    std::vector<RGBQUAD> palette(depthColors, RGBQUAD{});
    if (depthColors) {
        const uint32_t entries = fileColors < depthColors ? static_cast<uint32_t>(fileColors) : depthColors;
        std::vector<uint8_t> raw(static_cast<size_t>(entries) * entryBytes);
        if (!SeekToOffset(stream, paletteStart) || !ReadExact(stream, raw.data(), raw.size()))
            return Fail(image, "corrupted BMP");
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = raw.data() + static_cast<size_t>(i) * entryBytes;
            palette[i] = RGBQUAD{e[0], e[1], e[2], 0};  // blue, green, red; the reserved byte is not kept
        }
    }
    if (image.Info().escape)
        return Fail(image, "Cancelled");

    // Uncompressed data must be all there before the block is sized from the header.
    const uint64_t sourceRow = ((static_cast<uint64_t>(header.bitCount) * width + 31) / 32) * 4;
    if (!SeekToOffset(stream, dataStart))
        return Fail(image, "corrupted BMP");
    const bool runLength = header.compression == kRle8 || header.compression == kRle4;
    if (!runLength && KnownShorterThan(stream, sourceRow * height))
        return Fail(image, "corrupted BMP");
    // Run-length data covers at most 255 pixels with two bytes, but deltas and an early end of
    // bitmap may leave the rest of a picture of any size unreached. Encoders write every row, so
    // a picture more than 1024 times the size of its data is taken for a lying header.
    if (runLength && !DataCanFill(stream, static_cast<uint64_t>(width) * height, 1024))
        return Fail(image, "corrupted BMP");

    if (!image.Allocate(width, height, header.bitCount, Bmp))
        return Fail(image, "Can't allocate memory");
    image.Header().biXPelsPerMeter = header.xPelsPerMeter;
    image.Header().biYPelsPerMeter = header.yPelsPerMeter;
    image.Info().dpiX = DpiFromPelsPerMeter(header.xPelsPerMeter);
    image.Info().dpiY = DpiFromPelsPerMeter(header.yPelsPerMeter);
    if (depthColors)
        image.LoadPaletteQuads(palette.data(), depthColors);

    switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (header.compression == kRle8 || header.compression == kRle4) {
            if (!DecodeRunLength(image, stream, header.compression == kRle4))
                return Fail(image, "corrupted BMP");
        } else if (!ReadExact(stream, image.PixelBits(), image.Header().biSizeImage)) {
            // The source rows have the same padded size as the image rows.
            return Fail(image, "corrupted BMP");
        }
        break;
    case 16:
    case 32: {
        std::vector<uint8_t> row;
        try {
            row.resize(static_cast<size_t>(sourceRow));
        } catch (const std::bad_alloc&) {
            return Fail(image, "can't allocate memory");
        }
        for (uint32_t y = 0; y < height; ++y) {
            if (!ReadExact(stream, row.data(), row.size()))
                return Fail(image, "corrupted BMP");
            uint8_t* target = image.Row(y);
            if (header.bitCount == 16) {
                ExpandBitfields(row.data(), target, width, masks);
            } else {
                for (uint32_t x = 0; x < width; ++x) {
                    uint32_t pixel = le::ReadU32(row.data() + 4 * static_cast<size_t>(x));
                    target[3 * x] = masks.blue.Extract(pixel);
                    target[3 * x + 1] = masks.green.Extract(pixel);
                    target[3 * x + 2] = masks.red.Extract(pixel);
                }
            }
        }
        break;
    }
    default:
        return Fail(image, "Unsupported BMP bit count");
    }

    if (header.topDown)
        FlipRows(image);
    return true;
}
