#pragma once
// Test pictures made with the libraries' own encoders (libjpeg, libpng, libtiff), readers for the
// files outside programs write (PPM/PGM from ImageMagick or djpeg, 24-bit BMP), and a plain
// picture form to compare decoded images pixel by pixel.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CPixImage;

/// A picture as 8-bit red, green, blue triples, top row first, no padding.
struct RgbPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgb;

    bool empty() const { return width == 0 || height == 0; }
    const uint8_t* at(uint32_t x, uint32_t yFromTop) const { return &rgb[(static_cast<size_t>(yFromTop) * width + x) * 3]; }
};

/// The decoded image's colours (palettes resolved) as a top-down picture.
RgbPicture PictureOf(const CPixImage& image);
/// Largest difference of any channel, or -1 when the sizes differ.
int MaxChannelDifference(const RgbPicture& a, const RgbPicture& b);

/// Decodes bytes held in memory with the given type code.
bool DecodeBytes(CPixImage& image, const std::string& bytes, uint32_t type);

struct JpegOptions {
    int quality = 90;
    bool progressive = false;
    bool writeJfif = true;
    uint8_t densityUnit = 1;  // 0 aspect only, 1 dots per inch, 2 dots per centimetre
    uint16_t xDensity = 72;
    uint16_t yDensity = 72;
    int hSampling = 2;  // luminance sampling factors; 2 x 2 is 4:2:0
    int vSampling = 2;
};
/// Encodes top-down samples of 1 (gray), 3 (RGB) or 4 (CMYK, written as Adobe does) components.
std::string EncodeJpeg(uint32_t width, uint32_t height, int components, const std::vector<uint8_t>& samples,
                       const JpegOptions& options = {});

struct PngSpec {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 8;
    int colorType = 2;  // PNG colour type: 0 gray, 2 RGB, 3 palette, 4 gray+alpha, 6 RGBA
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows{};  // raw file rows, top first (16-bit samples big-endian)
    std::vector<uint8_t> palette{};          // red, green, blue triples
    std::vector<uint8_t> transparency{};     // tRNS alpha of palette entries
    std::optional<uint16_t> transparentGray{};  // tRNS of a gray image
    std::optional<std::vector<uint16_t>> background{};  // bKGD: {index} / {gray} / {red, green, blue}
};
std::string EncodePng(const PngSpec& desc);

struct TiffPage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t samples = 1;
    uint16_t bits = 8;
    uint16_t photometric = 1;  // min-is-black
    uint16_t orientation = 1;
    uint16_t compression = 1;  // none
    uint32_t rowsPerStrip = 0;  // 0: the whole picture in one strip
    uint32_t tileSize = 0;      // nonzero: square tiles instead of strips
    float xResolution = 0;      // 0: not written
    float yResolution = 0;
    std::vector<uint16_t> extraSamples{};  // EXTRASAMPLE_* of the samples past the colour ones
    std::vector<uint16_t> red{}, green{}, blue{};  // colour map of photometric 3
    std::vector<uint8_t> data{};  // packed rows, top first, in the file's sample layout
};
std::string EncodeTiff(const std::vector<TiffPage>& pages);

/// Reads an 8-bit binary PPM (P6) or PGM (P5); empty on anything else.
RgbPicture ReadPnm(const std::string& bytes);
/// Reads an uncompressed 24-bit BMP, bottom-up or top-down; empty on anything else.
RgbPicture ReadBmp24(const std::string& bytes);
