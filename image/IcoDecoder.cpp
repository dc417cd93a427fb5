// Windows icon decoder: the icon directory, the choice of one icon by the image's frame number,
// the icon's palette and pixels (1, 4, 8, 24 or 32 bits) and its transparency mask, which becomes
// the alpha plane. Icons stored as PNG data are handed to the PNG decoder.

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/DibHeader.h"
#include "base/DibRows.h"
#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// Directory header, 6 bytes: reserved u16 (0), type u16 (1 = icon), count u16.
constexpr size_t kDirectoryHeaderSize = 6;
// Directory entry, 16 bytes: width u8, height u8 (0 means 256), colour count u8, reserved u8,
// planes u16, bit count u16, bytes in resource u32, offset from the start of the file u32.
constexpr size_t kDirectoryEntrySize = 16;
// Every icon bitmap starts with an information header; its height counts the colour rows and the
// mask rows together.
constexpr uint32_t kBitmapHeaderSize = dib::kInfoHeaderBytes;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct IconEntry {
    uint32_t width;
    uint32_t height;
    uint8_t colorCount;
    uint16_t bitCount;
    uint32_t bytesInResource;
    uint32_t offset;
};

IconEntry ParseEntry(const uint8_t* p) {
    IconEntry entry;
    entry.width = p[0] ? p[0] : 256;
    entry.height = p[1] ? p[1] : 256;
    entry.colorCount = p[2];
    entry.bitCount = le::ReadU16(p + 6);
    entry.bytesInResource = le::ReadU32(p + 8);
    entry.offset = le::ReadU32(p + 12);
    return entry;
}

bool IsBitmapDepth(uint32_t depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32;
}

/// The depth the directory entry promises: its colour count, or its bit count for true colour.
uint32_t DirectoryDepth(const IconEntry& entry) {
    if (entry.colorCount == 0)
        return entry.bitCount >= 9 ? entry.bitCount : 8;
    if (entry.colorCount <= 2)
        return 1;
    if (entry.colorCount <= 16)
        return 4;
    return 8;
}

/// The directory's colour count decides the depth, but where the icon's own header names a
/// different valid depth, that header describes the data that follows and wins.
uint32_t IconDepth(const IconEntry& entry, uint32_t bitmapDepth) {
    const uint32_t depth = DirectoryDepth(entry);
    return IsBitmapDepth(bitmapDepth) && bitmapDepth != depth ? bitmapDepth : depth;
}

bool Corrupted(CPixImage& image) {
    image.SetLastError("corrupted ICO");
    return false;
}

/// An icon stored as a complete PNG file inside the icon file.
bool DecodePngIcon(CPixImage& image, ImageStream& stream, const IconEntry& entry) {
    if (entry.bytesInResource == 0 || KnownShorterThan(stream, entry.bytesInResource))
        return Corrupted(image);
    std::vector<uint8_t> data;
    try {
        data.resize(entry.bytesInResource);
    } catch (const std::bad_alloc&) {
        return Corrupted(image);
    }
    if (!ReadExact(stream, data.data(), data.size()))
        return Corrupted(image);
    ImageMemoryStream png(data.data(), data.size());
    CPixImage decoded(Png);
    if (!DecodePng(decoded, png) || !decoded.IsValid()) {
        image.SetLastError(decoded.LastError());
        return false;
    }
    const ImageInfo kept = image.Info();
    image.TakeOver(decoded);
    image.Info().type = Ico;
    image.Info().frame = kept.frame;
    image.Info().frameCount = kept.frameCount;
    return true;
}

/// The transparency mask: one bit per pixel, bottom row first, set bits are transparent. A mask
/// cut short by the end of the file leaves the remaining pixels opaque.
void ApplyMask(CPixImage& image, ImageStream& stream) {
    const bool hadAlpha = image.HasAlpha();
    if (!hadAlpha) {
        if (!image.AlphaAllocate())
            return;
        image.AlphaFill(255);
    }
    const uint32_t width = image.Width();
    std::vector<uint8_t> row(static_cast<size_t>(dib::RowBytes(width, 1)));
    bool anySet = false;
    for (uint32_t y = 0; y < image.Height(); ++y) {
        if (!ReadExact(stream, row.data(), row.size()))
            break;
        uint8_t* alpha = image.AlphaPlane() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            if (dib::IndexAt(row.data(), x, 1)) {
                alpha[x] = 0;
                anySet = true;
            }
        }
    }
    if (!hadAlpha && !anySet)
        image.AlphaRelease();
}

/// The directory entry of the icon the image's frame number asks for; false, without a text,
/// when the file is no icon file or has no such icon.
bool ReadDirectory(CPixImage& image, ImageStream& stream, IconEntry& entry) {
    uint8_t header[kDirectoryHeaderSize];
    if (!ReadExact(stream, header, sizeof header))
        return false;
    const uint16_t reserved = le::ReadU16(header);
    const uint16_t type = le::ReadU16(header + 2);
    const uint16_t count = le::ReadU16(header + 4);
    if (reserved != 0 || type != 1)
        return false;
    image.Info().frameCount = count;
    const int32_t frame = image.Info().frame;
    if (frame < 0 || frame >= count)
        return false;

    // count is at most 65535, so the directory is at most 1 MiB.
    std::vector<uint8_t> directory(static_cast<size_t>(count) * kDirectoryEntrySize);
    if (!ReadExact(stream, directory.data(), directory.size()))
        return false;
    entry = ParseEntry(directory.data() + static_cast<size_t>(frame) * kDirectoryEntrySize);
    return true;
}

/// The colour table after the bitmap header; a header may name fewer colours than the depth has.
bool ReadPalette(CPixImage& image, ImageStream& stream, int64_t paletteStart, uint32_t colorsUsed) {
    if (!SeekToOffset(stream, paletteStart))
        return false;
    const uint32_t paletteCount = image.PaletteCount();
    if (paletteCount == 0)
        return true;
    const uint32_t stored = colorsUsed != 0 && colorsUsed < paletteCount ? colorsUsed : paletteCount;
    std::vector<RGBQUAD> palette(stored);
    if (!ReadExact(stream, palette.data(), 4 * static_cast<size_t>(stored)))
        return false;
    image.LoadPaletteQuads(palette.data(), stored);
    return true;
}

/// The colour rows; 32-bit rows give their fourth byte to the alpha plane.
bool ReadPixels(CPixImage& image, ImageStream& stream, uint32_t depth) {
    if (depth != 32)
        return ReadExact(stream, image.PixelBits(), image.Header().biSizeImage);
    if (!image.AlphaAllocate())
        return false;
    const uint32_t width = image.Width();
    std::vector<uint8_t> row(4 * static_cast<size_t>(width));
    for (uint32_t y = 0; y < image.Height(); ++y) {
        if (!ReadExact(stream, row.data(), row.size()))
            return false;
        uint8_t* target = image.Row(y);
        uint8_t* alpha = image.AlphaPlane() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            std::memcpy(target + 3 * static_cast<size_t>(x), row.data() + 4 * static_cast<size_t>(x), 3);
            alpha[x] = row[4 * static_cast<size_t>(x) + 3];
        }
    }
    return true;
}

}  // namespace

bool DecodeIco(CPixImage& image, ImageStream& stream) {
    const int64_t start = stream.Position();
    IconEntry entry;
    if (!ReadDirectory(image, stream, entry))
        return false;

    const int64_t imageStart = start + entry.offset;
    uint8_t raw[kBitmapHeaderSize];
    if (!SeekToOffset(stream, imageStart) || !ReadExact(stream, raw, sizeof kPngSignature))
        return Corrupted(image);
    if (std::memcmp(raw, kPngSignature, sizeof kPngSignature) == 0) {
        if (!SeekToOffset(stream, imageStart))
            return Corrupted(image);
        return DecodePngIcon(image, stream, entry);
    }
    if (!ReadExact(stream, raw + sizeof kPngSignature, kBitmapHeaderSize - sizeof kPngSignature))
        return Corrupted(image);
    const BITMAPINFOHEADER bitmap = dib::ReadInfoHeader(raw);

    const uint32_t depth = IconDepth(entry, bitmap.biBitCount);
    if (!IsBitmapDepth(depth))
        return Corrupted(image);
    if (!image.CheckDimensions(entry.width, entry.height, depth))
        return false;
    if (!image.Allocate(entry.width, entry.height, depth, Ico))
        return Corrupted(image);
    const int64_t paletteStart = imageStart + std::max(bitmap.biSize, kBitmapHeaderSize);
    if (!ReadPalette(image, stream, paletteStart, bitmap.biClrUsed) || !ReadPixels(image, stream, depth))
        return Corrupted(image);
    ApplyMask(image, stream);
    return true;
}
