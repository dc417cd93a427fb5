// Truevision TGA decoder: colour-mapped, true-colour and gray images, uncompressed or run-length
// encoded, at 8, 15, 16, 24 and 32 bits, in any of the four origin corners.

#include <cstring>
#include <vector>

#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// Header, 18 bytes: identification length u8, colour-map type u8, image type u8, colour-map first
// index u16, colour-map length u16, colour-map entry size u8, x origin u16, y origin u16,
// width u16, height u16, pixel depth u8, image descriptor u8.
constexpr size_t kHeaderSize = 18;
constexpr uint8_t kHasColorMap = 1;  // colour-map type of a file that stores a colour map

// Image types: colour-mapped, true-colour and gray pixels stored as they are; the run-length bit
// added gives the same kinds run-length encoded (9, 10 and 11).
enum TgaImageType : uint8_t { kMapped = 1, kTrueColor = 2, kGray = 3 };
constexpr uint8_t kRunLengthBit = 8;

// Image descriptor: attribute (alpha) bits per pixel, and the corner the pixels start from.
enum DescriptorBits : uint8_t { kAttributeBits = 0x0F, kRightToLeft = 0x10, kTopToBottom = 0x20 };

struct TgaHeader {
    uint8_t idLength;
    uint8_t colorMapType;
    uint8_t imageType;
    uint16_t colorMapFirst;
    uint16_t colorMapLength;
    uint8_t colorMapEntrySize;
    uint16_t width;
    uint16_t height;
    uint8_t pixelDepth;
    uint8_t descriptor;
};

TgaHeader ParseHeader(const uint8_t* p) {
    TgaHeader h;
    h.idLength = p[0];
    h.colorMapType = p[1];
    h.imageType = p[2];
    h.colorMapFirst = le::ReadU16(p + 3);
    h.colorMapLength = le::ReadU16(p + 5);
    h.colorMapEntrySize = p[7];
    h.width = le::ReadU16(p + 12);
    h.height = le::ReadU16(p + 14);
    h.pixelDepth = p[16];
    h.descriptor = p[17];
    return h;
}

enum class Kind { Mapped, TrueColor, Gray };

/// The kind of picture an image type holds, stored or run-length encoded; false for a type the
/// decoder does not know.
bool KindOf(uint8_t imageType, Kind& kind) {
    switch (imageType & ~kRunLengthBit) {
    case kMapped:
        kind = Kind::Mapped;
        return true;
    case kTrueColor:
        kind = Kind::TrueColor;
        return true;
    case kGray:
        kind = Kind::Gray;
        return true;
    default:
        return false;
    }
}

bool DepthFits(Kind kind, uint32_t depth) {
    switch (kind) {
    case Kind::Mapped:
        return depth == 8;
    case Kind::Gray:
        return depth == 8 || depth == 16;
    default:
        return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    }
}

/// A 15 or 16-bit colour: five bits each of red, green and blue, the top bits of each channel at
/// the top of its byte.
RGBQUAD FiveBitColor(uint16_t w) {
    return RGBQUAD{static_cast<uint8_t>((w & 0x1F) << 3), static_cast<uint8_t>((w >> 2) & 0xF8),
                   static_cast<uint8_t>((w >> 7) & 0xF8), 0};
}

bool Fail(CPixImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

/// Writes one file pixel into the image: a palette index, a colour with its alpha, or a gray level.
class PixelSink {
public:
    PixelSink(CPixImage& image, const TgaHeader& header, Kind kind)
        : image_(image), depth_(header.pixelDepth), gray_(kind == Kind::Gray),
          attributeAlpha_((header.descriptor & kAttributeBits) != 0) {}

    void Store(uint32_t x, uint32_t y, const uint8_t* p) {
        uint8_t* row = image_.Row(y);
        uint8_t* alpha = image_.HasAlpha() ? image_.AlphaPlane() + static_cast<size_t>(y) * image_.Width() + x : nullptr;
        uint8_t* bgr = row + 3 * static_cast<size_t>(x);
        switch (depth_) {
        case 8:
            row[x] = p[0];
            break;
        case 15:
        case 16:
            if (gray_) {
                // Gray with an alpha byte.
                bgr[0] = bgr[1] = bgr[2] = p[0];
                *alpha = p[1];
            } else {
                const uint16_t w = le::ReadU16(p);
                const RGBQUAD color = FiveBitColor(w);
                bgr[0] = color.rgbBlue;
                bgr[1] = color.rgbGreen;
                bgr[2] = color.rgbRed;
                // The top bit is the attribute bit. It is an opacity only when the descriptor
                // says the pixels carry an attribute bit; many writers leave it 0 otherwise, and
                // those pictures must not come out fully transparent.
                if (alpha)
                    *alpha = !attributeAlpha_ || (w & 0x8000) ? 255 : 0;
            }
            break;
        case 24:
            std::memcpy(bgr, p, 3);
            break;
        case 32:
            std::memcpy(bgr, p, 3);
            *alpha = p[3];
            break;
        default:
            break;
        }
    }

private:
    CPixImage& image_;
    uint32_t depth_;
    bool gray_;
    bool attributeAlpha_;
};

/// Run-length packets: a header byte, then one pixel repeated (header >= 128, count header - 127)
/// or header + 1 pixels stored as they are. A packet may run on past the end of a row; its
/// remaining pixels continue at the start of the next row, as the pixel stream is one sequence.
/// Dropping them instead would read the following pixel bytes as packet headers.
class PacketReader {
public:
    PacketReader(ImageStream& stream, uint32_t pixelBytes) : stream_(stream), pixelBytes_(pixelBytes) {}

    const uint8_t* Next() {
        if (left_ == 0) {
            uint8_t header;
            if (!ReadExact(stream_, &header, 1))
                return nullptr;
            run_ = header >= 128;
            left_ = run_ ? header - 127u : header + 1u;
            position_ = 0;
            if (!ReadExact(stream_, packet_, run_ ? pixelBytes_ : left_ * pixelBytes_))
                return nullptr;
        }
        --left_;
        const uint8_t* pixel = run_ ? packet_ : packet_ + position_ * pixelBytes_;
        ++position_;
        return pixel;
    }

private:
    ImageStream& stream_;
    uint32_t pixelBytes_;
    uint8_t packet_[128 * 4];
    uint32_t left_ = 0;
    uint32_t position_ = 0;
    bool run_ = false;
};

/// Colour-map entries of 15/16, 24 or 32 bits, loaded from the map's first index on.
bool LoadColorMap(CPixImage& image, ImageStream& stream, const TgaHeader& header) {
    const uint32_t entryBytes = (header.colorMapEntrySize + 7u) / 8u;
    const uint64_t bytes = static_cast<uint64_t>(entryBytes) * header.colorMapLength;  // at most 65535 * 32
    if (bytes == 0)
        return true;
    std::vector<uint8_t> map(static_cast<size_t>(bytes));
    if (!ReadExact(stream, map.data(), map.size()))
        return false;
    if (image.PaletteCount() == 0)
        return true;  // a true-colour image does not use its colour map
    for (uint32_t i = 0; i < header.colorMapLength; ++i) {
        const uint32_t index = header.colorMapFirst + i;
        if (index >= image.PaletteCount())
            break;
        const uint8_t* e = map.data() + static_cast<size_t>(i) * entryBytes;
        RGBQUAD color{};
        if (entryBytes >= 3) {
            color = RGBQUAD{e[0], e[1], e[2], 0};
        } else if (entryBytes == 2) {
            color = FiveBitColor(le::ReadU16(e));
        }
        image.SetPaletteEntry(static_cast<uint8_t>(index), color);
    }
    return true;
}

/// Whether the rest of the file can hold the colour map and the pixels. Every pixel takes at least
/// its own bytes uncompressed, or a share of a 128-pixel packet.
bool DataIsThere(ImageStream& stream, const TgaHeader& header, bool compressed) {
    const uint32_t pixelBytes = (header.pixelDepth + 7u) / 8u;
    const uint64_t pixels = static_cast<uint64_t>(header.width) * header.height;
    const uint64_t mapBytes =
        header.colorMapType == kHasColorMap ? (header.colorMapEntrySize + 7u) / 8u * uint64_t{header.colorMapLength} : 0;
    const uint64_t leastBytes = compressed ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    return !KnownShorterThan(stream, mapBytes + leastBytes);
}

/// The pixels, row by row in the file's order, each put where the origin corner places it.
bool ReadPixels(CPixImage& image, ImageStream& stream, const TgaHeader& header, Kind kind, bool compressed) {
    const uint32_t width = header.width;
    const uint32_t height = header.height;
    const uint32_t pixelBytes = (header.pixelDepth + 7u) / 8u;
    const bool rightToLeft = header.descriptor & kRightToLeft;
    const bool topToBottom = header.descriptor & kTopToBottom;
    PixelSink sink(image, header, kind);
    PacketReader packets(stream, pixelBytes);
    std::vector<uint8_t> row(compressed ? 0 : static_cast<size_t>(width) * pixelBytes);
    for (uint32_t i = 0; i < height; ++i) {
        if (image.Info().escape)
            return Fail(image, "Cancelled");
        const uint32_t y = topToBottom ? height - 1 - i : i;
        if (!compressed && !ReadExact(stream, row.data(), row.size()))
            return Fail(image, "corrupted TGA");
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = compressed ? packets.Next() : row.data() + static_cast<size_t>(x) * pixelBytes;
            if (!pixel)
                return Fail(image, "corrupted TGA");
            sink.Store(rightToLeft ? width - 1 - x : x, y, pixel);
        }
    }
    return true;
}

}  // namespace

bool DecodeTga(CPixImage& image, ImageStream& stream) {
    TgaHeader header;
    if (!ReadRecord<kHeaderSize>(stream, header, ParseHeader))
        return Fail(image, "Not a TGA");
    if (!stream.SeekTo(header.idLength, SEEK_CUR))
        return Fail(image, "corrupted TGA");
    Kind kind = Kind::Mapped;
    if (!KindOf(header.imageType, kind))
        return Fail(image, "Unknown TGA image type");
    const uint32_t depth = header.pixelDepth;
    if (!DepthFits(kind, depth))
        return Fail(image, "Unsupported TGA pixel depth");
    if (!image.CheckDimensions(header.width, header.height, depth))
        return false;
    const bool compressed = (header.imageType & kRunLengthBit) != 0;
    if (!DataIsThere(stream, header, compressed))
        return Fail(image, "corrupted TGA");

    if (!image.Allocate(header.width, header.height, depth, Tga))
        return Fail(image, "TGA Create failed");
    if ((depth == 16 || depth == 32) && !image.AlphaAllocate())
        return Fail(image, "TGA Create failed");
    if (image.Info().escape)
        return Fail(image, "Cancelled");
    if (header.colorMapType == kHasColorMap && !LoadColorMap(image, stream, header))
        return Fail(image, "corrupted TGA");
    if (kind == Kind::Gray)
        image.MakeGrayPalette();
    return ReadPixels(image, stream, header, kind, compressed);
}
