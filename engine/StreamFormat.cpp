#include "engine/StreamFormat.h"

#include <cstring>

StreamFormat StreamFormat::Of(const CPixImage& picture) {
    StreamFormat format;
    if (!picture.IsValid())
        return format;
    format.valid = true;
    format.header = picture.Header();
    const RGBQUAD* entries = picture.PaletteEntries();
    if (entries)
        format.palette.assign(entries, entries + picture.PaletteCount());
    return format;
}

bool StreamFormat::SameSize(const CPixImage& picture) const {
    return valid && picture.IsValid() && picture.Header().biWidth == header.biWidth &&
           picture.Header().biHeight == header.biHeight;
}

bool StreamFormat::Matches(const CPixImage& picture) const {
    if (!SameSize(picture) || picture.BitsPerPixel() != header.biBitCount)
        return false;
    if (header.biBitCount == 24)
        return true;
    // The frame's pixels are indices into the stream's palette: the picture's own entries must be
    // the same colours (a shorter palette of the same colours is fine).
    uint32_t count = picture.PaletteCount();
    if (count > palette.size())
        return false;
    const RGBQUAD* entries = picture.PaletteEntries();
    for (uint32_t i = 0; i < count; ++i) {
        if (entries[i].rgbRed != palette[i].rgbRed || entries[i].rgbGreen != palette[i].rgbGreen ||
            entries[i].rgbBlue != palette[i].rgbBlue)
            return false;
    }
    return true;
}

namespace {

uint8_t NearestIndex(const std::vector<RGBQUAD>& palette, RGBQUAD color) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < palette.size(); ++i) {
        int dr = static_cast<int>(palette[i].rgbRed) - color.rgbRed;
        int dg = static_cast<int>(palette[i].rgbGreen) - color.rgbGreen;
        int db = static_cast<int>(palette[i].rgbBlue) - color.rgbBlue;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
            if (distance == 0)
                break;
        }
    }
    return static_cast<uint8_t>(best);
}

}  // namespace

bool ConvertToFormat(CPixImage& picture, const StreamFormat& format) {
    if (!format.SameSize(picture))
        return false;
    const uint32_t width = picture.Width();
    const uint32_t height = picture.Height();
    CPixImage converted(picture.Type());
    if (!converted.Allocate(width, height, format.header.biBitCount, picture.Type()))
        return false;
    converted.Header().biXPelsPerMeter = picture.Header().biXPelsPerMeter;
    converted.Header().biYPelsPerMeter = picture.Header().biYPelsPerMeter;

    if (format.header.biBitCount == 24) {
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* out = converted.Row(y);
            for (uint32_t x = 0; x < width; ++x) {
                RGBQUAD c = picture.PixelColor(x, y);
                out[3 * x] = c.rgbBlue;
                out[3 * x + 1] = c.rgbGreen;
                out[3 * x + 2] = c.rgbRed;
            }
        }
    } else {
        converted.LoadPaletteQuads(format.palette.data(), static_cast<uint32_t>(format.palette.size()));
        converted.Header().biClrUsed = format.header.biClrUsed;
        // Neighbouring pixels mostly share their colour: remember the last answer.
        RGBQUAD last{};
        uint8_t lastIndex = NearestIndex(format.palette, last);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                RGBQUAD c = picture.PixelColor(x, y);
                if (c.rgbRed != last.rgbRed || c.rgbGreen != last.rgbGreen || c.rgbBlue != last.rgbBlue) {
                    last = c;
                    lastIndex = NearestIndex(format.palette, c);
                }
                converted.StoreIndex(x, y, lastIndex);
            }
        }
    }
    picture.TakeOver(converted);
    return true;
}
