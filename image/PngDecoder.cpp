// PNG decoding on libpng. libpng reports errors through a callback that must not return: ours
// copies the message into the image and jumps back to the decoder, which fails; the libpng
// structures and the row buffer free themselves when the decode ends either way. Transparency is composited away except for true-colour pictures with an 8-bit alpha
// channel (and 16-bit gray with alpha), whose alpha goes to the image's alpha plane.

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "base/DibRows.h"
#include "image/Decoders.h"

namespace {

static_assert(sizeof(png_color) == 3, "png_color must be a packed red, green, blue triple");

// Everything libpng touches lives in this record, outside the frame that calls setjmp, so that
// nothing with a destructor is skipped by the jump back; the record frees it all.
struct PngDecode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint8_t* rowBuffer = nullptr;  // malloc'd

    PngDecode() = default;
    PngDecode(const PngDecode&) = delete;
    PngDecode& operator=(const PngDecode&) = delete;
    ~PngDecode() {
        std::free(rowBuffer);
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

/// The picture as the file header describes it.
struct PngFormat {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int pixelDepth = 0;  // bits of all channels of a pixel

    /// True-colour pictures with an 8-bit alpha channel (and 16-bit gray with alpha) keep their
    /// alpha in the alpha plane.
    bool WithAlpha() const {
        return colorType == PNG_COLOR_TYPE_RGB_ALPHA || (colorType == PNG_COLOR_TYPE_GRAY_ALPHA && pixelDepth == 32);
    }
};

[[noreturn]] void ErrorFunction(png_structp png, png_const_charp message) {
    auto* image = static_cast<CPixImage*>(png_get_error_ptr(png));
    image->SetLastError(message);
    png_longjmp(png, 1);
}

// Warnings (unknown chunks, a bad gamma value, ...) do not stop decoding and are not shown.
void WarningFunction(png_structp, png_const_charp) {}

void ReadFunction(png_structp png, png_bytep data, size_t length) {
    auto* stream = static_cast<ImageStream*>(png_get_io_ptr(png));
    if (stream->ReadItems(data, 1, length) != length)
        png_error(png, "Read Error");
}

// Widens 2-bit values to 4-bit nibbles in place, from the right end so that no value is
// overwritten before it is read.
void WidenTwoBitRow(uint8_t* row, uint32_t width) {
    for (uint32_t x = width; x-- > 0;)
        dib::PutIndex(row, x, 4, dib::IndexAt(row, x, 2));
    if (width & 1)
        dib::PutIndex(row, width, 4, 0);  // the nibble past the last pixel still holds packed samples
}

bool Cancelled(CPixImage& image) {
    if (!image.Info().escape)
        return false;
    image.SetLastError("Cancelled");
    return true;
}

PngFormat ReadFormat(const PngDecode& d) {
    PngFormat format;
    int interlace = 0;
    png_get_IHDR(d.png, d.info, &format.width, &format.height, &format.bitDepth, &format.colorType, &interlace,
                 nullptr, nullptr);
    format.pixelDepth = format.bitDepth * png_get_channels(d.png, d.info);
    return format;
}

/// Transparency is composited against the file's own background, or else a light gray, except
/// in 32-bit pictures, whose background colour is only noted.
void SetUpBackground(const PngDecode& d, const PngFormat& format, CPixImage& image) {
    png_color_16p fileBackground = nullptr;
    const bool hasBackground = png_get_bKGD(d.png, d.info, &fileBackground) != 0 && fileBackground;
    if (format.pixelDepth != 32) {
        if (hasBackground) {
            png_set_background(d.png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        } else {
            png_color_16 gray{0, 192, 192, 192, 192};
            png_set_background(d.png, &gray, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
        }
    } else if (hasBackground) {
        int shift = format.bitDepth == 16 ? 8 : 0;
        image.Info().backgroundColor = RGBQUAD{static_cast<uint8_t>(fileBackground->blue >> shift),
                                               static_cast<uint8_t>(fileBackground->green >> shift),
                                               static_cast<uint8_t>(fileBackground->red >> shift), 0};
    }
}

bool AllocatePicture(CPixImage& image, const PngFormat& format) {
    const int pixelDepth = format.pixelDepth;
    const uint32_t depth = pixelDepth == 16 ? 8 : pixelDepth < 16 ? static_cast<uint32_t>(pixelDepth) : 24;
    if (!image.CheckDimensions(format.width, format.height, depth))
        return false;
    if (!image.Allocate(format.width, format.height, depth, Png))
        return FailNoMemory(image, format.width, format.height);
    return true;
}

/// The file's palette; without one, four grays for 2-bit pictures and a gray ramp otherwise.
void LoadPalette(const PngDecode& d, const PngFormat& format, CPixImage& image) {
    png_colorp palette = nullptr;
    int paletteCount = 0;
    if (png_get_PLTE(d.png, d.info, &palette, &paletteCount) != 0 && palette) {
        image.LoadPaletteTriples(reinterpret_cast<const uint8_t*>(palette), static_cast<uint32_t>(paletteCount));
    } else if (format.pixelDepth == 2) {
        for (uint8_t i = 0; i < 4; ++i)
            image.SetPaletteEntry(i, static_cast<uint8_t>(85 * i), static_cast<uint8_t>(85 * i), static_cast<uint8_t>(85 * i));
    } else {
        image.MakeGrayPalette();
    }
}

/// A palette picture's transparency goes to the palette's reserved bytes; a single fully
/// transparent first entry is the picture's background index instead.
void LoadTransparency(const PngDecode& d, const PngFormat& format, CPixImage& image) {
    png_bytep transparency = nullptr;
    int transparencyCount = 0;
    if (format.colorType != PNG_COLOR_TYPE_PALETTE ||
        png_get_tRNS(d.png, d.info, &transparency, &transparencyCount, nullptr) == 0 || !transparency)
        return;
    const uint32_t entries = image.PaletteCount();
    const uint32_t count = static_cast<uint32_t>(transparencyCount);
    RGBQUAD* quads = image.PaletteEntries();
    for (uint32_t i = 0; quads && i < entries && i < count; ++i)
        quads[i].rgbReserved = transparency[i];
    if (count == 1 && transparency[0] == 0) {
        image.Info().backgroundIndex = 0;
    } else {
        image.Info().alphaPaletteEnabled = true;
        for (uint32_t i = count; quads && i < entries; ++i)
            quads[i].rgbReserved = 255;
    }
}

/// Asks libpng for blue, green, red (and alpha) in the byte order of the picture's rows.
bool SetUpChannels(const PngDecode& d, const PngFormat& format, CPixImage& image) {
    if (format.WithAlpha()) {
        if (format.colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(d.png);
        png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
        if (!image.AlphaAllocate())
            return FailNoMemory(image, format.width, format.height);
    }
    if ((format.colorType & PNG_COLOR_MASK_COLOR) != 0 || format.WithAlpha())
        png_set_bgr(d.png);
    return true;
}

// Every row libpng delivers fits in its image row (1, 2, 4, 8 bits per pixel or blue, green,
// red), so rows are read straight into the picture; interlaced passes combine their pixels there,
// and by the last pass every pixel has been written once. 2-bit rows stay packed until the last
// pass, then become nibbles. Rows are not cleared first: a small file claiming a huge picture
// must not cost a sweep over all of it.
bool ReadRows(const PngDecode& d, const PngFormat& format, CPixImage& image, int passes, size_t rowBytes) {
    const uint32_t width = format.width;
    const uint32_t height = format.height;
    const uint32_t effectiveWidth = image.EffectiveWidth();
    if (rowBytes > effectiveWidth) {
        image.SetLastError("Unexpected PNG row size");
        return false;
    }
    const size_t usedBytes = format.pixelDepth == 2 ? (static_cast<size_t>(width) + 1) / 2 : rowBytes;
    for (int pass = 0; pass < passes; ++pass) {
        const bool lastPass = pass == passes - 1;
        for (uint32_t j = 0; j < height; ++j) {
            if (Cancelled(image))
                return false;
            uint8_t* row = image.Row(height - 1 - j);
            png_read_row(d.png, row, nullptr);
            if (lastPass) {
                if (format.pixelDepth == 2)
                    WidenTwoBitRow(row, width);
                std::memset(row + usedBytes, 0, effectiveWidth - usedBytes);
            }
        }
    }
    return true;
}

// Four bytes per pixel: blue, green, red to the picture, the fourth to the alpha plane. Before a
// later pass the row is put back together from both, so the pass adds its pixels to the complete
// row.
bool ReadRowsWithAlpha(PngDecode& d, const PngFormat& format, CPixImage& image, int passes, size_t rowBytes) {
    const uint32_t width = format.width;
    const uint32_t height = format.height;
    if (rowBytes < 4ull * width) {
        image.SetLastError("Unexpected PNG row size");
        return false;
    }
    d.rowBuffer = static_cast<uint8_t*>(std::calloc(rowBytes + 10, 1));
    if (!d.rowBuffer)
        return FailNoMemory(image, width, height);
    uint8_t* buffer = d.rowBuffer;
    const size_t padding = image.EffectiveWidth() - 3 * static_cast<size_t>(width);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t j = 0; j < height; ++j) {
            if (Cancelled(image))
                return false;
            const uint32_t y = height - 1 - j;
            uint8_t* row = image.Row(y);
            uint8_t* alpha = image.AlphaPlane() + static_cast<size_t>(y) * width;
            if (pass > 0) {
                for (uint32_t x = 0; x < width; ++x) {
                    std::memcpy(buffer + 4 * static_cast<size_t>(x), row + 3 * static_cast<size_t>(x), 3);
                    buffer[4 * static_cast<size_t>(x) + 3] = alpha[x];
                }
            }
            png_read_row(d.png, buffer, nullptr);
            for (uint32_t x = 0; x < width; ++x) {
                std::memcpy(row + 3 * static_cast<size_t>(x), buffer + 4 * static_cast<size_t>(x), 3);
                alpha[x] = buffer[4 * static_cast<size_t>(x) + 3];
            }
            std::memset(row + 3 * static_cast<size_t>(width), 0, padding);
        }
    }
    return true;
}

// libpng's errors jump back here from any of the steps.
bool Decode(PngDecode& d, CPixImage& image, ImageStream& stream) {
    if (setjmp(png_jmpbuf(d.png)))
        return false;
    png_set_read_fn(d.png, &stream, ReadFunction);
    png_read_info(d.png, d.info);
    const PngFormat format = ReadFormat(d);
    SetUpBackground(d, format, image);
    if (format.bitDepth == 16)
        png_set_strip_16(d.png);
    if (!AllocatePicture(image, format))
        return false;
    LoadPalette(d, format, image);
    LoadTransparency(d, format, image);
    if (!SetUpChannels(d, format, image) || Cancelled(image))
        return false;

    const int passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    const size_t rowBytes = png_get_rowbytes(d.png, d.info);
    const bool read = format.WithAlpha() ? ReadRowsWithAlpha(d, format, image, passes, rowBytes)
                                         : ReadRows(d, format, image, passes, rowBytes);
    if (!read)
        return false;
    png_read_end(d.png, d.info);
    return true;
}

}  // namespace

bool DecodePng(CPixImage& image, ImageStream& stream) {
    PngDecode d;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &image, ErrorFunction, WarningFunction);
    if (!d.png) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    d.info = png_create_info_struct(d.png);
    if (!d.info) {
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    return Decode(d, image, stream);
}
