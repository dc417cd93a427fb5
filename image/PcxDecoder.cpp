// PCX decoder: one plane of packed 1, 2, 4 or 8-bit pixels, two to four planes of 1 bit (up to
// 16 colours), and three or four planes of 8 bits (true colour, the fourth plane an alpha).

#include <algorithm>
#include <vector>

#include "base/DibRows.h"
#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// Header, 128 bytes: manufacturer u8 (10), version u8, encoding u8 (1 = run-length), bits per
// pixel per plane u8, xmin, ymin, xmax, ymax u16, horizontal and vertical resolution u16,
// 16-colour palette (48 bytes of red, green, blue), reserved u8, planes u8, bytes per line per
// plane u16, palette type u16, 58 filler bytes.
constexpr size_t kHeaderSize = 128;

struct PcxHeader {
    uint8_t manufacturer;
    uint8_t encoding;
    uint8_t bitsPerPixel;
    int64_t width;
    int64_t height;
    uint16_t xResolution;
    uint16_t yResolution;
    uint8_t palette16[48];  // 16 red, green, blue triples
    uint8_t planes;
    uint16_t bytesPerLine;
};

PcxHeader ParseHeader(const uint8_t* p) {
    PcxHeader h;
    h.manufacturer = p[0];
    h.encoding = p[2];
    h.bitsPerPixel = p[3];
    h.width = static_cast<int64_t>(le::ReadU16(p + 8)) - le::ReadU16(p + 4) + 1;    // xmax - xmin + 1
    h.height = static_cast<int64_t>(le::ReadU16(p + 10)) - le::ReadU16(p + 6) + 1;  // ymax - ymin + 1
    h.xResolution = le::ReadU16(p + 12);
    h.yResolution = le::ReadU16(p + 14);
    std::copy_n(p + 16, sizeof h.palette16, h.palette16);
    h.planes = p[65];
    h.bytesPerLine = le::ReadU16(p + 66);
    return h;
}

enum class Layout { Packed, Planar, TrueColor };

bool Fail(CPixImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kRunLengthEncoding = 1;
constexpr uint8_t kMostPlanes = 4;

/// What the decoder cannot read, or nullptr.
const char* HeaderProblem(const PcxHeader& h) {
    if (h.manufacturer != kManufacturer)
        return "Error: Not a PCX file";
    if (h.encoding != kRunLengthEncoding)
        return "PCX file has unknown encoding scheme";
    if (h.planes > kMostPlanes)
        return "Can't handle image with more than 4 planes";
    return nullptr;
}

/// The pixel layout of a plane and depth combination, or the failure text.
const char* ChooseLayout(const PcxHeader& h, Layout& layout, uint32_t& depth) {
    if (h.planes == 1) {
        if (h.bitsPerPixel != 1 && h.bitsPerPixel != 2 && h.bitsPerPixel != 4 && h.bitsPerPixel != 8)
            return "Can't handle more than 1 bit per pixel";
        layout = Layout::Packed;
        depth = h.bitsPerPixel;
        return nullptr;
    }
    if ((h.planes == 3 || h.planes == 4) && h.bitsPerPixel == 8) {
        layout = Layout::TrueColor;
        depth = 24;
        return nullptr;
    }
    if (h.planes >= 2 && h.bitsPerPixel == 1) {
        // Two to four planes of 1 bit hold up to 16 colours. A 4-bit image keeps every index bit,
        // so 4- and 8-colour files (2 and 3 planes) keep their colours too.
        layout = Layout::Planar;
        depth = 4;
        return nullptr;
    }
    if (h.planes == 0)
        return "corrupted PCX";
    if (h.bitsPerPixel == 2 || h.bitsPerPixel == 4)
        return "Can't handle packed pixels with more than 1 plane.";
    return "Can't handle more than 1 bit per pixel";
}

/// Expands the run-length data one scan line (all planes) at a time. A run may continue from one
/// line into the next, but never past the end of the image data.
class RunDecoder {
public:
    RunDecoder(ImageStream& stream, uint64_t total) : stream_(stream), left_(total) {}

    const char* Fill(std::vector<uint8_t>& line) {
        for (uint8_t& out : line) {
            while (run_ == 0) {
                int b = stream_.GetByte();
                if (b < 0)
                    return "corrupted PCX";
                if (b < 192) {
                    run_ = 1;
                    value_ = static_cast<uint8_t>(b);
                    break;
                }
                int v = stream_.GetByte();
                if (v < 0)
                    return "corrupted PCX";
                run_ = static_cast<uint32_t>(b & 0x3F);
                if (run_ > left_)
                    return "repeat count spans end of image";
                value_ = static_cast<uint8_t>(v);
            }
            out = value_;
            --run_;
            --left_;
        }
        return nullptr;
    }

private:
    ImageStream& stream_;
    uint64_t left_;
    uint32_t run_ = 0;
    uint8_t value_ = 0;
};

void StoreRow(CPixImage& image, Layout layout, uint32_t bits, uint32_t planes, uint32_t bytesPerLine,
              const std::vector<uint8_t>& line, uint32_t y) {
    const uint32_t width = image.Width();
    uint8_t* row = image.Row(y);
    switch (layout) {
    case Layout::TrueColor: {
        const uint8_t* red = line.data();
        const uint8_t* green = red + bytesPerLine;
        const uint8_t* blue = green + bytesPerLine;
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = blue[x];
            row[3 * x + 1] = green[x];
            row[3 * x + 2] = red[x];
        }
        if (planes == 4) {
            const uint8_t* alpha = blue + bytesPerLine;
            for (uint32_t x = 0; x < width; ++x)
                image.StoreAlpha(x, y, alpha[x]);
        }
        break;
    }
    case Layout::Packed:
        for (uint32_t x = 0; x < width; ++x)
            image.StoreIndex(x, y, dib::IndexAt(line.data(), x, bits));
        break;
    case Layout::Planar:
        // Plane p holds bit p of every index.
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t index = 0;
            for (uint32_t p = 0; p < planes; ++p)
                index = static_cast<uint8_t>(index | (dib::IndexAt(line.data() + p * bytesPerLine, x, 1) << p));
            image.StoreIndex(x, y, index);
        }
        break;
    }
}

// A 256-colour palette follows the data after a marker byte.
constexpr int kPaletteMarker = 12;
constexpr size_t kLongPaletteBytes = 768;

/// The palette: the header's 16 entries, a 256-entry palette after the data for 8-bit pixels,
/// and black and white for one plane of 1 bit.
bool LoadPalette(CPixImage& image, ImageStream& stream, const PcxHeader& header, Layout layout) {
    uint8_t colors[kLongPaletteBytes] = {};
    std::copy_n(header.palette16, sizeof header.palette16, colors);
    if (layout == Layout::Packed && header.bitsPerPixel == 8) {
        if (stream.GetByte() != kPaletteMarker)
            return Fail(image, "bad color map signature");
        if (!ReadExact(stream, colors, kLongPaletteBytes))
            return Fail(image, "corrupted PCX");
    } else if (layout == Layout::Packed && header.bitsPerPixel == 1) {
        for (size_t i = 0; i < 3; ++i) {
            colors[i] = 0;
            colors[3 + i] = 255;
        }
    }
    image.LoadPaletteTriples(colors, 256);
    return true;
}

}  // namespace

bool DecodePcx(CPixImage& image, ImageStream& stream) {
    PcxHeader header;
    if (!ReadRecord<kHeaderSize>(stream, header, ParseHeader))
        return Fail(image, "Can't read PCX image");
    if (const char* problem = HeaderProblem(header))
        return Fail(image, problem);
    Layout layout = Layout::Packed;
    uint32_t depth = 0;
    if (const char* problem = ChooseLayout(header, layout, depth))
        return Fail(image, problem);
    const int64_t width = header.width > 0 ? header.width : 0;
    const int64_t height = header.height > 0 ? header.height : 0;
    if (!image.CheckDimensions(static_cast<uint64_t>(width), static_cast<uint64_t>(height), depth))
        return false;
    // Each plane's line must hold the whole width.
    const uint64_t planeBits = static_cast<uint64_t>(width) * header.bitsPerPixel;
    if (static_cast<uint64_t>(header.bytesPerLine) * 8 < planeBits)
        return Fail(image, "corrupted PCX");

    // A run of at most 63 bytes takes two bytes of the file, so the data is at least 2/63 of the
    // expanded size; a header that promises more than the file can hold is refused here.
    const uint64_t lineBytes = static_cast<uint64_t>(header.planes) * header.bytesPerLine;  // <= 4 * 65535
    const uint64_t total = lineBytes * static_cast<uint64_t>(height);
    if (KnownShorterThan(stream, (2 * total + 62) / 63))
        return Fail(image, "corrupted PCX");

    if (!image.Allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), depth, Pcx))
        return Fail(image, "Can't allocate memory");
    image.SetHorizontalDpi(header.xResolution);
    image.SetVerticalDpi(header.yResolution);
    if (layout == Layout::TrueColor && header.planes == 4 && !image.AlphaAllocate())
        return Fail(image, "Can't allocate memory");
    if (image.Info().escape)
        return Fail(image, "Cancelled");

    RunDecoder runs(stream, total);
    std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
    for (uint32_t i = 0; i < static_cast<uint32_t>(height); ++i) {
        if (image.Info().escape)
            return Fail(image, "Cancelled");
        if (const char* problem = runs.Fill(line))
            return Fail(image, problem);
        StoreRow(image, layout, header.bitsPerPixel, header.planes, header.bytesPerLine, line,
                 static_cast<uint32_t>(height) - 1 - i);
    }
    return image.PaletteCount() == 0 || LoadPalette(image, stream, header, layout);
}
