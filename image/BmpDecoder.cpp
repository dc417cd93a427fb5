// Windows bitmap decoder: a file with its 14-byte file header or a bare packed DIB; core (12-byte),
// 40-byte and later information headers; 1, 4 and 8-bit palettes, 8- and 4-bit run-length data,
// 16-bit pixels with or without bit-field masks, 24 and 32 bits.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/DibHeader.h"
#include "base/DibRows.h"
#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// File header, 14 bytes: type "BM" u16, file size u32, two reserved u16, pixel data offset u32.
constexpr size_t kFileHeaderSize = 14;
constexpr uint16_t kBitmapSignature = 0x4D42;

// The core header (12 bytes) of the oldest bitmaps: size u32, width u16, height u16, planes u16,
// bit count u16. Every later header begins with the fields of the information header.
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = dib::kInfoHeaderBytes;
// Bit-field masks: red, green and blue u32.
constexpr size_t kMasksSize = 12;

enum Compression : uint32_t {
    kRgb = BI_RGB,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
};

/// The header, whichever kind the file has: a core header's fields are carried over into the
/// information header record.
struct BmpHeader {
    BITMAPINFOHEADER info{};
    bool core = false;

    /// A negative width is reported as an invalid size.
    int64_t Width() const { return info.biWidth < 0 ? 0 : info.biWidth; }
    int64_t Height() const { return info.biHeight < 0 ? -static_cast<int64_t>(info.biHeight) : info.biHeight; }
    /// A negative height stores the rows from the top down.
    bool TopDown() const { return info.biHeight < 0; }
    bool RunLength() const { return info.biCompression == kRle8 || info.biCompression == kRle4; }
};

/// Where the parts of the file lie, worked out from its headers.
struct BmpLayout {
    int64_t headerStart = 0;
    int64_t paletteStart = 0;
    int64_t dataStart = 0;
    uint32_t depthColors = 0;   // palette entries of the depth; 0 for true colour
    uint32_t storedColors = 0;  // entries the file stores, at most depthColors
    uint32_t entryBytes = 4;    // 3 in the colour table of a core header
};

bool Fail(CPixImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

/// The file header, when there is one: it names the pixel data's offset from the start of the
/// file. Without it the data is a bare packed DIB that starts with its information header.
bool ReadFileHeader(ImageStream& stream, int64_t start, BmpLayout& layout, uint32_t& dataOffset) {
    uint8_t p[kFileHeaderSize];
    if (!ReadExact(stream, p, kFileHeaderSize))
        return false;
    if (le::ReadU16(p) == kBitmapSignature) {
        dataOffset = le::ReadU32(p + 10);
        layout.headerStart = start + static_cast<int64_t>(kFileHeaderSize);
        return true;
    }
    dataOffset = 0;
    layout.headerStart = start;
    return stream.SeekTo(start, SEEK_SET);
}

bool ReadInfoHeader(ImageStream& stream, BmpHeader& header) {
    uint8_t p[kInfoHeaderSize];
    if (!ReadExact(stream, p, kCoreHeaderSize))
        return false;
    header.info.biSize = le::ReadU32(p);
    if (header.info.biSize == kCoreHeaderSize) {
        header.core = true;
        header.info.biWidth = le::ReadU16(p + 4);      // unsigned in the core header
        header.info.biHeight = le::ReadU16(p + 6);     // always bottom-up
        header.info.biBitCount = le::ReadU16(p + 10);  // planes at 8 are ignored
        return true;
    }
    if (header.info.biSize < kInfoHeaderSize)
        return false;
    if (!ReadExact(stream, p + kCoreHeaderSize, kInfoHeaderSize - kCoreHeaderSize))
        return false;
    header.info = dib::ReadInfoHeader(p);
    return true;
}

/// The compression a depth allows, or the failure text for the combination.
const char* CompressionProblem(const BITMAPINFOHEADER& info) {
    switch (info.biBitCount) {
    case 1:
    case 4:
    case 8:
        if (info.biCompression == kRgb || (info.biCompression == kRle8 && info.biBitCount == 8) ||
            (info.biCompression == kRle4 && info.biBitCount == 4))
            return nullptr;
        return "compression type not supported";
    case 16:
    case 32:
        return info.biCompression == kRgb || info.biCompression == kBitFields ? nullptr : "unknown compression";
    case 24:
        return info.biCompression == kRgb ? nullptr : "unknown compression";
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

    /// Blue, green, red bytes of one pixel.
    void Expand(uint32_t pixel, uint8_t* target) const {
        target[0] = blue.Extract(pixel);
        target[1] = green.Extract(pixel);
        target[2] = red.Extract(pixel);
    }
};

/// The masks of a 16 or 32-bit picture that names none: 5-5-5 or 8-8-8.
PixelMasks DefaultMasks(uint32_t bitCount) {
    if (bitCount == 32)
        return PixelMasks{ChannelMask(0x00FF0000), ChannelMask(0x0000FF00), ChannelMask(0x000000FF)};
    return PixelMasks{ChannelMask(0x7C00), ChannelMask(0x03E0), ChannelMask(0x001F)};
}

/// The masks a bit-field picture names. They sit right after the first 40 header bytes: after a
/// 40-byte header they follow it, in the later headers they are part of it. Masks that are all
/// zero leave the defaults.
bool ReadMasks(ImageStream& stream, const BmpLayout& layout, PixelMasks& masks) {
    uint8_t m[kMasksSize];
    if (!SeekToOffset(stream, layout.headerStart + kInfoHeaderSize) || !ReadExact(stream, m, sizeof m))
        return false;
    uint32_t red = le::ReadU32(m), green = le::ReadU32(m + 4), blue = le::ReadU32(m + 8);
    if (red | green | blue)
        masks = PixelMasks{ChannelMask(red), ChannelMask(green), ChannelMask(blue)};
    return true;
}

/// The colour table follows the whole header (and the masks of a 40-byte header). A file may
/// store fewer entries than its depth allows; a packed DIB's pixels follow right after them.
void LocateParts(const BmpHeader& header, int64_t start, uint32_t dataOffset, BmpLayout& layout) {
    layout.paletteStart = layout.headerStart + header.info.biSize;
    if (header.info.biCompression == kBitFields && header.info.biSize == kInfoHeaderSize)
        layout.paletteStart += kMasksSize;
    const uint32_t bitCount = header.info.biBitCount;
    layout.depthColors = bitCount <= 8 ? 1u << bitCount : 0;
    uint64_t fileColors = header.core ? layout.depthColors : header.info.biClrUsed;
    if (fileColors == 0)
        fileColors = layout.depthColors;
    layout.storedColors = static_cast<uint32_t>(std::min<uint64_t>(fileColors, layout.depthColors));
    layout.entryBytes = header.core ? 3 : 4;
    layout.dataStart = dataOffset != 0 ? start + dataOffset
                                       : layout.paletteStart + static_cast<int64_t>(fileColors * layout.entryBytes);
}

bool ReadPalette(ImageStream& stream, const BmpLayout& layout, std::vector<RGBQUAD>& palette) {
    palette.assign(layout.depthColors, RGBQUAD{});
    if (layout.depthColors == 0)
        return true;
    std::vector<uint8_t> raw(static_cast<size_t>(layout.storedColors) * layout.entryBytes);
    if (!SeekToOffset(stream, layout.paletteStart) || !ReadExact(stream, raw.data(), raw.size()))
        return false;
    for (uint32_t i = 0; i < layout.storedColors; ++i) {
        const uint8_t* e = raw.data() + static_cast<size_t>(i) * layout.entryBytes;
        palette[i] = RGBQUAD{e[0], e[1], e[2], 0};  // blue, green, red; the reserved byte is not kept
    }
    return true;
}

/// Whether the rest of the file can hold the pixel data the header describes. Uncompressed data
/// must be all there before the block is sized from the header. Run-length data covers at most
/// 255 pixels with two bytes, but deltas and an early end of bitmap may leave the rest of a
/// picture of any size unreached. Encoders write every row, so a picture more than 1024 times the
/// size of its data is taken for a lying header.
bool DataIsThere(ImageStream& stream, const BmpHeader& header) {
    const auto width = static_cast<uint64_t>(header.Width());
    const auto height = static_cast<uint64_t>(header.Height());
    if (header.RunLength())
        return DataCanFill(stream, width * height, 1024);
    return !KnownShorterThan(stream, dib::RowBytes(width, header.info.biBitCount) * height);
}

int32_t DpiFromPelsPerMeter(int32_t pelsPerMeter) {
    return static_cast<int32_t>(std::floor(pelsPerMeter * 0.0254 + 0.5));
}

void SetResolution(CPixImage& image, const BITMAPINFOHEADER& info) {
    image.Header().biXPelsPerMeter = info.biXPelsPerMeter;
    image.Header().biYPelsPerMeter = info.biYPelsPerMeter;
    image.Info().dpiX = DpiFromPelsPerMeter(info.biXPelsPerMeter);
    image.Info().dpiY = DpiFromPelsPerMeter(info.biYPelsPerMeter);
}

/// Writes decoded run-length pixels into the bottom-up rows; writes outside the picture are dropped.
class RunWriter {
public:
    RunWriter(CPixImage& image, uint32_t bitCount) : image_(image), bitCount_(bitCount) {}

    /// `count` pixels packed in `data`, from (x, y) to the right.
    void Put(uint64_t x, uint64_t y, const uint8_t* data, uint32_t count) {
        if (y >= image_.Height())
            return;
        uint8_t* row = image_.Row(static_cast<uint32_t>(y));
        for (uint32_t i = 0; i < count && x + i < image_.Width(); ++i)
            dib::PutIndex(row, static_cast<uint32_t>(x + i), bitCount_, dib::IndexAt(data, i, bitCount_));
    }

private:
    CPixImage& image_;
    uint32_t bitCount_;
};

/// Run-length data, 8 bits (a pixel per byte) or 4 bits (two pixels per byte, high nibble first).
/// Rows the data never reaches stay cleared. Data that stops between two codes ends the picture as
/// an end-of-bitmap code would; data that stops inside a code is a corrupt file.
bool DecodeRunLength(CPixImage& image, ImageStream& stream, uint32_t bitCount) {
    std::memset(image.PixelBits(), 0, image.Header().biSizeImage);
    RunWriter out(image, bitCount);
    uint8_t run[255];
    uint64_t x = 0;
    uint64_t y = 0;
    while (y < image.Height()) {
        int count = stream.GetByte();
        if (count < 0)
            return true;
        int code = stream.GetByte();
        if (code < 0)
            return false;
        if (count > 0) {
            // An encoded run: `count` pixels of one byte repeated, so 4-bit pixels alternate
            // between its two nibbles.
            std::memset(run, code, static_cast<size_t>(dib::UsedRowBytes(count, bitCount)));
            out.Put(x, y, run, static_cast<uint32_t>(count));
            x += static_cast<uint64_t>(count);
        } else if (code == 0) {  // end of line
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
            const auto bytes = static_cast<size_t>(dib::UsedRowBytes(code, bitCount));
            if (!ReadExact(stream, run, bytes))
                return false;
            if (bytes & 1)
                stream.GetByte();
            out.Put(x, y, run, static_cast<uint32_t>(code));
            x += static_cast<uint64_t>(code);
        }
    }
    return true;
}

/// 16 and 32-bit rows widened to blue, green, red through the channel masks. For the usual
/// 5-5-5 and 5-6-5 layouts this is the top bits of each channel at the top of its byte.
const char* ReadMaskedRows(CPixImage& image, ImageStream& stream, uint32_t bitCount, const PixelMasks& masks) {
    const uint32_t width = image.Width();
    const uint32_t pixelBytes = bitCount / 8;
    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(dib::RowBytes(width, bitCount)));
    } catch (const std::bad_alloc&) {
        return "can't allocate memory";
    }
    for (uint32_t y = 0; y < image.Height(); ++y) {
        if (!ReadExact(stream, row.data(), row.size()))
            return "corrupted BMP";
        uint8_t* target = image.Row(y);
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = row.data() + static_cast<size_t>(x) * pixelBytes;
            masks.Expand(pixelBytes == 2 ? le::ReadU16(p) : le::ReadU32(p), target + 3 * static_cast<size_t>(x));
        }
    }
    return nullptr;
}

/// The pixel data, or the failure text.
const char* ReadPixels(CPixImage& image, ImageStream& stream, const BmpHeader& header, const PixelMasks& masks) {
    if (header.RunLength())
        return DecodeRunLength(image, stream, header.info.biBitCount) ? nullptr : "corrupted BMP";
    switch (header.info.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        // The source rows have the same padded size as the image rows.
        return ReadExact(stream, image.PixelBits(), image.Header().biSizeImage) ? nullptr : "corrupted BMP";
    case 16:
    case 32:
        return ReadMaskedRows(image, stream, header.info.biBitCount, masks);
    default:
        return "Unsupported BMP bit count";
    }
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

}  // namespace

bool DecodeBmp(CPixImage& image, ImageStream& stream) {
    const int64_t start = stream.Position();
    BmpLayout layout;
    uint32_t dataOffset = 0;
    if (!ReadFileHeader(stream, start, layout, dataOffset))
        return Fail(image, "Not a BMP");
    BmpHeader header;
    if (!ReadInfoHeader(stream, header))
        return Fail(image, "Error reading BMP info");
    if (const char* problem = CompressionProblem(header.info))
        return Fail(image, problem);
    const uint32_t bitCount = header.info.biBitCount;
    if (!image.CheckDimensions(static_cast<uint64_t>(header.Width()), static_cast<uint64_t>(header.Height()), bitCount))
        return false;
    PixelMasks masks = DefaultMasks(bitCount);
    if (header.info.biCompression == kBitFields && !ReadMasks(stream, layout, masks))
        return Fail(image, "Error reading BMP info");
    LocateParts(header, start, dataOffset, layout);

    if (image.Info().escape)
        return Fail(image, "Cancelled");
    std::vector<RGBQUAD> palette;
    if (!ReadPalette(stream, layout, palette))
        return Fail(image, "corrupted BMP");
    if (image.Info().escape)
        return Fail(image, "Cancelled");
    if (!SeekToOffset(stream, layout.dataStart) || !DataIsThere(stream, header))
        return Fail(image, "corrupted BMP");

    if (!image.Allocate(static_cast<uint32_t>(header.Width()), static_cast<uint32_t>(header.Height()), bitCount, Bmp))
        return Fail(image, "Can't allocate memory");
    SetResolution(image, header.info);
    if (layout.depthColors)
        image.LoadPaletteQuads(palette.data(), layout.depthColors);
    if (const char* problem = ReadPixels(image, stream, header, masks))
        return Fail(image, problem);
    if (header.TopDown())
        FlipRows(image);
    return true;
}
