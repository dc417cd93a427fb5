// TIFF decoding on libtiff, opened over our byte stream through its client procedures. Colour
// pictures (and the photometric kinds libtiff converts best itself) go through libtiff's RGBA
// reader; bilevel, gray and palette pictures keep their indices and are read strip by strip
// into a 1-, 4- or 8-bit image with the matching palette, then turned to their orientation.

#include <tiffio.h>

#include <cstdarg>
#include <cstring>
#include <memory>

#include "image/Decoders.h"

namespace {

constexpr const char* kOpenFailed = "Error encountered while opening TIFF file";
constexpr const char* kPageMissing = "Error: page not present in TIFF file";
constexpr const char* kCorrupted = "Corrupted TIFF file!";
constexpr const char* kCancelled = "Cancelled";

// --- client procedures over ImageStream ------------------------------------------------------

ImageStream* StreamOf(thandle_t handle) {
    return static_cast<ImageStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(StreamOf(handle)->ReadItems(buffer, 1, static_cast<size_t>(size)));
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(StreamOf(handle)->WriteItems(buffer, 1, static_cast<size_t>(size)));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
    ImageStream* stream = StreamOf(handle);
    // libtiff passes relative offsets as two's complement in its unsigned offset type.
    auto signedOffset = static_cast<int64_t>(offset);
    if (origin == SEEK_SET && signedOffset < 0)
        return static_cast<toff_t>(-1);
    if (!stream->SeekTo(signedOffset, origin))
        return static_cast<toff_t>(-1);
    return origin == SEEK_SET ? offset : static_cast<toff_t>(stream->Position());
}

// The stream belongs to whoever asked for the decode (LoadFile closes its own file), so closing
// libtiff leaves it open.
int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    int64_t length = StreamOf(handle)->Length();
    return length < 0 ? 0 : static_cast<toff_t>(length);
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;  // no memory mapping: libtiff reads through ReadProc
}

void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages would otherwise go to stderr; the decoder reports its own texts instead.
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// --- resources that free themselves -----------------------------------------------------------

struct TiffFree {
    void operator()(void* p) const { _TIFFfree(p); }
};
template <typename T>
using TiffBuffer = std::unique_ptr<T, TiffFree>;

template <typename T>
TiffBuffer<T> TiffAllocate(tmsize_t bytes) {
    return TiffBuffer<T>(static_cast<T*>(_TIFFmalloc(bytes)));
}

struct TiffClose {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffClose>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

/// libtiff over the stream, quiet, and with no single buffer (strip, tile, tag array) larger
/// than a picture may be. Null when libtiff does not take the stream.
TiffHandle OpenOverStream(ImageStream& stream) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), QuietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), QuietHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(CPixImage::kMaxDibBytes));
    return TiffHandle(TIFFClientOpenExt("TIFF IMAGE", "rb", &stream, ReadProc, WriteProc, SeekProc, CloseProc,
                                        SizeProc, MapProc, UnmapProc, options.get()));
}

bool Fail(CPixImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

// --- field helpers -------------------------------------------------------------------------

// Resolutions and positions are rationals that are kept as whole numbers; a value that has no
// int32 counterpart (NaN, huge) counts as 0.
int32_t Truncate(float value) {
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0;
    return static_cast<int32_t>(value);
}

/// A rational field as a whole number; 0 when the file does not have it.
int32_t WholeRational(TIFF* tif, uint32_t tag) {
    float value = 0;
    return TIFFGetField(tif, tag, &value) ? Truncate(value) : 0;
}

// The fields of a page the decoder uses, with the values the TIFF format gives absent ones.
struct TiffFields {
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1;  // samples per pixel, bits per sample
    uint16_t photometric = 0;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint32_t rowsPerStrip = 0;  // the height where absent
    int32_t dpiX = 0, dpiY = 0;
    int32_t xOffset = 0, yOffset = 0;
};

TiffFields ReadFields(TIFF* tif) {
    TiffFields f;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &f.bits);
    f.rowsPerStrip = f.height;
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &f.orientation);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &f.planar);
    f.dpiX = WholeRational(tif, TIFFTAG_XRESOLUTION);
    f.dpiY = WholeRational(tif, TIFFTAG_YRESOLUTION);
    f.xOffset = WholeRational(tif, TIFFTAG_XPOSITION);
    f.yOffset = WholeRational(tif, TIFFTAG_YPOSITION);
    if (f.rowsPerStrip > f.height || f.rowsPerStrip == 0) {
        f.rowsPerStrip = f.height;
        if (f.height != 0 && !TIFFIsTiled(tif))
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, f.height);
    }
    return f;
}

bool UsesRgbaReader(const TiffFields& f) {
    return (f.bits > 7 && f.photometric == PHOTOMETRIC_RGB) || f.photometric == PHOTOMETRIC_SEPARATED ||
           f.photometric == PHOTOMETRIC_YCBCR || f.photometric == PHOTOMETRIC_LOGL ||
           f.photometric == PHOTOMETRIC_LOGLUV;
}

// The layouts the strip reader turns into correct indices: bilevel, 4-bit, 8-bit and 16-bit
// samples, alone or with an alpha sample, interleaved, in strips.
bool StripReaderHandles(TIFF* tif, const TiffFields& f) {
    if (TIFFIsTiled(tif))
        return false;
    if (f.samples == 1)
        return (f.bits == 1 && f.photometric <= PHOTOMETRIC_MINISBLACK) || f.bits == 4 || f.bits == 8 || f.bits == 16;
    return f.samples == 2 && f.planar == PLANARCONFIG_CONTIG && (f.bits == 8 || f.bits == 16);
}

// --- the two readers -----------------------------------------------------------------------

bool ReadThroughRgba(TIFF* tif, CPixImage& image) {
    const uint32_t width = image.Width();
    const uint32_t height = image.Height();
    const size_t pixels = static_cast<size_t>(width) * height;
    auto raster = TiffAllocate<uint32_t>(static_cast<tmsize_t>(pixels * sizeof(uint32_t)));
    if (!raster)
        return Fail(image, "No space for raster buffer");
    if (!TIFFReadRGBAImage(tif, width, height, raster.get(), 1))
        return Fail(image, kCorrupted);
    // The raster's rows come bottom row first, like the picture's.
    uint8_t* alphaPlane = image.AlphaPlane();
    for (uint32_t y = 0; y < height; ++y) {
        if (image.Info().escape)
            return Fail(image, kCancelled);
        const uint32_t* source = raster.get() + static_cast<size_t>(y) * width;
        uint8_t* row = image.Row(y);
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(TIFFGetB(source[x]));
            row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
            row[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(source[x]));
        }
        std::memset(row + 3 * static_cast<size_t>(width), 0, image.EffectiveWidth() - 3 * static_cast<size_t>(width));
        if (alphaPlane) {
            uint8_t* alpha = alphaPlane + static_cast<size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x)
                alpha[x] = static_cast<uint8_t>(TIFFGetA(source[x]));
        }
    }
    return true;
}

void LoadTiffPalette(TIFF* tif, CPixImage& image, const TiffFields& f) {
    RGBQUAD palette[256] = {};
    const uint32_t entries = image.PaletteCount();
    if (f.photometric <= PHOTOMETRIC_MINISBLACK) {
        const bool minIsWhite = f.photometric == PHOTOMETRIC_MINISWHITE;
        if (f.bits == 1) {
            uint8_t white = minIsWhite ? 0 : 1;
            palette[white] = RGBQUAD{255, 255, 255, 0};
        } else if (entries >= 2) {
            const uint32_t step = 255 / (entries - 1);
            for (uint32_t i = 0; i < entries; ++i) {
                auto level = static_cast<uint8_t>(i * step);
                if (minIsWhite)
                    level ^= 255;
                palette[i] = RGBQUAD{level, level, level, 0};
            }
        }
    } else if (f.photometric == PHOTOMETRIC_PALETTE) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
            // libtiff holds 2^bits entries per channel (bits is at most 16 here).
            const uint32_t mapSize = 1u << f.bits;
            bool sixteenBit = false;
            for (uint32_t i = 0; i < mapSize && !sixteenBit; ++i)
                sixteenBit = red[i] > 255 || green[i] > 255 || blue[i] > 255;
            const uint32_t n = mapSize < 256 ? mapSize : 256;
            for (uint32_t i = 0; i < n; ++i) {
                if (sixteenBit) {
                    palette[i] = RGBQUAD{static_cast<uint8_t>(blue[i] * 255u / 65535u),
                                         static_cast<uint8_t>(green[i] * 255u / 65535u),
                                         static_cast<uint8_t>(red[i] * 255u / 65535u), 0};
                } else {
                    palette[i] = RGBQUAD{static_cast<uint8_t>(blue[i]), static_cast<uint8_t>(green[i]),
                                         static_cast<uint8_t>(red[i]), 0};
                }
            }
        }
    }
    image.LoadPaletteQuads(palette, 256);
}

/// One line of a strip into picture row y: 16-bit samples keep their high byte, and a second
/// (alpha) sample goes to the alpha plane.
void StoreStripLine(CPixImage& image, const TiffFields& f, uint8_t* line, uint64_t lineBytes, uint32_t y) {
    const uint32_t width = image.Width();
    const uint32_t effectiveWidth = image.EffectiveWidth();
    uint8_t* row = image.Row(y);
    uint64_t bytes = lineBytes;
    if (f.bits == 16) {
        // libtiff delivers the samples in native order.
        const uint64_t count = static_cast<uint64_t>(f.samples) * width;
        for (uint64_t k = 0; k < count; ++k) {
            uint16_t sample;
            std::memcpy(&sample, line + 2 * k, 2);
            line[k] = static_cast<uint8_t>(sample >> 8);
        }
        bytes = count;
    }
    size_t used = bytes < effectiveWidth ? static_cast<size_t>(bytes) : effectiveWidth;
    if (f.samples == 1) {
        std::memcpy(row, line, used);
    } else {
        used = width;
        for (uint32_t x = 0; x < width; ++x)
            row[x] = line[2 * x];
        if (uint8_t* alphaPlane = image.AlphaPlane()) {
            uint8_t* alpha = alphaPlane + static_cast<size_t>(y) * width;
            for (uint32_t x = 0; x < width; ++x)
                alpha[x] = line[2 * x + 1];
        }
    }
    std::memset(row + used, 0, effectiveWidth - used);
}

bool ReadStrips(TIFF* tif, CPixImage& image, const TiffFields& f) {
    const uint32_t height = image.Height();
    const uint64_t lineBytes = (static_cast<uint64_t>(f.samples) * f.bits * image.Width() + 7) / 8;
    const tmsize_t stripBytes = TIFFStripSize(tif);
    if (stripBytes <= 0 || static_cast<uint64_t>(stripBytes) > CPixImage::kMaxDibBytes)
        return Fail(image, kCorrupted);
    auto strip = TiffAllocate<uint8_t>(stripBytes);
    if (!strip)
        return Fail(image, "No space for strip buffer");
    for (uint32_t first = 0; first < height; first += f.rowsPerStrip) {
        if (image.Info().escape)
            return Fail(image, kCancelled);
        const tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, first, 0), strip.get(), stripBytes);
        if (got < 0)
            return Fail(image, kCorrupted);
        const uint32_t lines = height - first < f.rowsPerStrip ? height - first : f.rowsPerStrip;
        for (uint32_t i = 0; i < lines; ++i) {
            const uint32_t y = height - 1 - (first + i);
            // A strip shorter than it should be leaves its missing lines black.
            if ((i + 1ull) * lineBytes > static_cast<uint64_t>(got))
                std::memset(image.Row(y), 0, image.EffectiveWidth());
            else
                StoreStripLine(image, f, strip.get() + i * lineBytes, lineBytes, y);
        }
    }
    return true;
}

// Brings a picture stored in another orientation upright: the file's first row is at the top
// of the decoded picture, so the tag says where that row and the first column belong.
// 6 (first row on the right) is a clockwise quarter turn, 8 (first row on the left) an
// anticlockwise one; 5 and 7 are the same turns mirrored.
struct Righting {
    uint16_t orientation;
    void (*turn)(CPixImage&);  // the flip or quarter turn, if any
    bool mirror;               // then reversed left to right
};

void Flip(CPixImage& image) {
    image.FlipVertical();
}
void TurnRight(CPixImage& image) {
    image.TurnRight();
}
void TurnLeft(CPixImage& image) {
    image.TurnLeft();
}

constexpr Righting kRightings[] = {
    {ORIENTATION_TOPRIGHT, nullptr, true},
    {ORIENTATION_BOTRIGHT, Flip, true},
    {ORIENTATION_BOTLEFT, Flip, false},
    {ORIENTATION_LEFTTOP, TurnRight, true},
    {ORIENTATION_RIGHTTOP, TurnRight, false},
    {ORIENTATION_RIGHTBOT, TurnLeft, true},
    {ORIENTATION_LEFTBOT, TurnLeft, false},
};

void ApplyOrientation(CPixImage& image, uint16_t orientation) {
    for (const Righting& righting : kRightings) {
        if (righting.orientation != orientation)
            continue;
        if (righting.turn)
            righting.turn(image);
        if (righting.mirror)
            image.MirrorHorizontal();
    }
}

// --- the decoder ---------------------------------------------------------------------------

/// Counts the pages and moves to the one the image's frame number asks for.
bool SelectPage(TIFF* tif, CPixImage& image) {
    ImageInfo& info = image.Info();
    int32_t count = 0;
    if (TIFFSetDirectory(tif, 0)) {
        count = 1;
        while (count < INT32_MAX && TIFFReadDirectory(tif))
            ++count;
    }
    info.frameCount = count;
    if (info.frame < 0 || !TIFFSetDirectory(tif, static_cast<tdir_t>(info.frame)))
        return Fail(image, kPageMissing);
    return true;
}

/// Whether the page goes through the RGBA reader. Layouts the strip reader would misplace
/// (tiles, separate planes, 2-bit or 1-bit palette samples, ...) come out right through the RGBA
/// reader when libtiff can convert them; the rest would only give a wrong picture.
bool ChooseReader(TIFF* tif, CPixImage& image, const TiffFields& f, bool& rgba) {
    rgba = UsesRgbaReader(f);
    if (rgba || StripReaderHandles(tif, f))
        return true;
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message)) {
        image.SetLastErrorFormatted("Unsupported TIFF layout: %u samples of %u bits, photometric %u", f.samples,
                                    f.bits, f.photometric);
        return false;
    }
    rgba = true;
    return true;
}

uint32_t DepthFor(const TiffFields& f, bool rgba) {
    if (rgba)
        return 24;
    if (f.photometric <= PHOTOMETRIC_MINISBLACK && f.bits == 1)
        return 1;
    return f.bits == 4 ? 4 : 8;
}

/// Sizes the picture, with its resolution, position and (for gray or colour with an alpha
/// sample) alpha plane.
bool AllocatePicture(CPixImage& image, const TiffFields& f, bool rgba) {
    const uint32_t depth = DepthFor(f, rgba);
    if (!image.CheckDimensions(f.width, f.height, depth))
        return false;
    // The RGBA reader needs a raster of four bytes per pixel besides the picture.
    if (rgba && 4ull * f.width * f.height > CPixImage::kMaxDibBytes) {
        image.SetLastErrorFormatted("Image too large: %u x %u pixels", f.width, f.height);
        return false;
    }
    if (image.Info().escape)
        return Fail(image, kCancelled);
    if (!image.Allocate(f.width, f.height, depth, Tiff))
        return FailNoMemory(image, f.width, f.height);
    image.SetHorizontalDpi(f.dpiX);
    image.SetVerticalDpi(f.dpiY);
    image.Info().xOffset = f.xOffset;
    image.Info().yOffset = f.yOffset;
    if ((f.samples == 4 || (f.samples == 2 && f.bits == 8)) && !image.AlphaAllocate())
        return FailNoMemory(image, f.width, f.height);
    return true;
}

/// libtiff reads a tile into a buffer it rounds up to 1 KiB and then refuses an uncompressed tile
/// whose size differs from that buffer's; a buffer of exactly one tile avoids it. The buffer must
/// outlive libtiff's handle.
bool SetUpTileBuffer(TIFF* tif, CPixImage& image, const TiffFields& f, TiffBuffer<void>& tileBuffer) {
    if (!TIFFIsTiled(tif) || f.compression != COMPRESSION_NONE)
        return true;
    const tmsize_t tileBytes = TIFFTileSize(tif);
    if (tileBytes <= 0 || static_cast<uint64_t>(tileBytes) > CPixImage::kMaxDibBytes)
        return Fail(image, kCorrupted);
    tileBuffer = TiffAllocate<void>(tileBytes);
    if (!tileBuffer)
        return Fail(image, "No space for tile buffer");
    TIFFReadBufferSetup(tif, tileBuffer.get(), tileBytes);
    return true;
}

bool DecodeOpenTiff(TIFF* tif, CPixImage& image, TiffBuffer<void>& tileBuffer) {
    if (!SelectPage(tif, image))
        return false;
    const TiffFields f = ReadFields(tif);
    bool rgba = false;
    if (!ChooseReader(tif, image, f, rgba) || !AllocatePicture(image, f, rgba))
        return false;
    if (rgba)
        return SetUpTileBuffer(tif, image, f, tileBuffer) && ReadThroughRgba(tif, image);
    LoadTiffPalette(tif, image, f);
    if (!ReadStrips(tif, image, f))
        return false;
    ApplyOrientation(image, f.orientation);
    return true;
}

}  // namespace

bool DecodeTiff(CPixImage& image, ImageStream& stream) {
    // Declared first, so that libtiff is closed before the tile buffer it reads into is freed.
    TiffBuffer<void> tileBuffer;
    TiffHandle tif = OpenOverStream(stream);
    if (!tif)
        return Fail(image, kOpenFailed);
    return DecodeOpenTiff(tif.get(), image, tileBuffer);
}
