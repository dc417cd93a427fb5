#include "support/ImageTestFiles.h"

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>

#include "image/ImageStream.h"
#include "image/PixImage.h"

RgbPicture PictureOf(const CPixImage& image) {
    RgbPicture picture;
    if (!image.IsValid())
        return picture;
    picture.width = image.Width();
    picture.height = image.Height();
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    uint8_t* out = picture.rgb.data();
    for (uint32_t top = 0; top < picture.height; ++top) {
        const int64_t y = picture.height - 1 - top;
        for (uint32_t x = 0; x < picture.width; ++x) {
            RGBQUAD c = image.PixelColor(x, y);
            *out++ = c.rgbRed;
            *out++ = c.rgbGreen;
            *out++ = c.rgbBlue;
        }
    }
    return picture;
}

int MaxChannelDifference(const RgbPicture& a, const RgbPicture& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(static_cast<int>(a.rgb[i]) - static_cast<int>(b.rgb[i])));
    return worst;
}

bool DecodeBytes(CPixImage& image, const std::string& bytes, uint32_t type) {
    ImageMemoryStream stream(bytes.data(), bytes.size());
    return image.DecodeStream(stream, type);
}

// --- JPEG ----------------------------------------------------------------------------------

std::string EncodeJpeg(uint32_t width, uint32_t height, int components, const std::vector<uint8_t>& samples,
                       const JpegOptions& options) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.write_JFIF_header = options.writeJfif ? TRUE : FALSE;
    cinfo.density_unit = options.densityUnit;
    cinfo.X_density = options.xDensity;
    cinfo.Y_density = options.yDensity;
    if (components == 3) {
        cinfo.comp_info[0].h_samp_factor = options.hSampling;
        cinfo.comp_info[0].v_samp_factor = options.vSampling;
    }
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * components;
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

// --- PNG -----------------------------------------------------------------------------------

namespace {

void AppendToString(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

void NoFlush(png_structp) {}

}  // namespace

std::string EncodePng(const PngSpec& desc) {
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &bytes, AppendToString, NoFlush);
    png_set_IHDR(png, info, desc.width, desc.height, desc.bitDepth, desc.colorType,
                 desc.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!desc.palette.empty()) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(desc.palette.data()),
                     static_cast<int>(desc.palette.size() / 3));
    }
    if (!desc.transparency.empty())
        png_set_tRNS(png, info, desc.transparency.data(), static_cast<int>(desc.transparency.size()), nullptr);
    if (desc.transparentGray) {
        png_color_16 color{};
        color.gray = *desc.transparentGray;
        png_set_tRNS(png, info, nullptr, 1, &color);
    }
    if (desc.background) {
        const std::vector<uint16_t>& v = *desc.background;
        png_color_16 color{};
        if (desc.colorType == PNG_COLOR_TYPE_PALETTE)
            color.index = static_cast<png_byte>(v.at(0));
        else if ((desc.colorType & PNG_COLOR_MASK_COLOR) == 0)
            color.gray = v.at(0);
        else {
            color.red = v.at(0);
            color.green = v.at(1);
            color.blue = v.at(2);
        }
        png_set_bKGD(png, info, &color);
    }
    std::vector<png_bytep> rows;
    for (const auto& row : desc.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

// --- TIFF ----------------------------------------------------------------------------------

std::string EncodeTiff(const std::vector<TiffPage>& pages) {
    char name[] = "/tmp/pixreel-tiff-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd < 0)
        return {};
    ::close(fd);
    TIFF* tif = TIFFOpen(name, "w");
    bool ok = tif != nullptr;
    for (const TiffPage& page : pages) {
        if (!ok)
            break;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (page.xResolution > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.xResolution);
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.yResolution);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        }
        if (!page.extraSamples.empty())
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(page.extraSamples.size()),
                         page.extraSamples.data());
        if (!page.red.empty())
            TIFFSetField(tif, TIFFTAG_COLORMAP, page.red.data(), page.green.data(), page.blue.data());
        if (pages.size() > 1) {
            TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(&page - pages.data()),
                         static_cast<uint16_t>(pages.size()));
        }
        const size_t lineBytes = (static_cast<size_t>(page.width) * page.samples * page.bits + 7) / 8;
        if (page.tileSize) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tileSize);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tileSize);
            const size_t pixelBytes = static_cast<size_t>(page.samples) * page.bits / 8;  // whole bytes only
            std::vector<uint8_t> tile(static_cast<size_t>(page.tileSize) * page.tileSize * pixelBytes);
            for (uint32_t ty = 0; ty < page.height && ok; ty += page.tileSize) {
                for (uint32_t tx = 0; tx < page.width && ok; tx += page.tileSize) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (uint32_t y = 0; y < page.tileSize && ty + y < page.height; ++y)
                        for (uint32_t x = 0; x < page.tileSize && tx + x < page.width; ++x)
                            std::memcpy(&tile[(y * page.tileSize + x) * pixelBytes],
                                        &page.data[(ty + y) * lineBytes + (tx + x) * pixelBytes], pixelBytes);
                    ok = TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, tx, ty, 0, 0), tile.data(),
                                              static_cast<tmsize_t>(tile.size())) >= 0;
                }
            }
        } else {
            const uint32_t rowsPerStrip = page.rowsPerStrip ? page.rowsPerStrip : page.height;
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
            for (uint32_t first = 0, strip = 0; first < page.height && ok; first += rowsPerStrip, ++strip) {
                uint32_t lines = std::min(rowsPerStrip, page.height - first);
                std::vector<uint8_t> chunk(page.data.begin() + static_cast<std::ptrdiff_t>(first * lineBytes),
                                           page.data.begin() + static_cast<std::ptrdiff_t>((first + lines) * lineBytes));
                ok = TIFFWriteEncodedStrip(tif, strip, chunk.data(), static_cast<tmsize_t>(chunk.size())) >= 0;
            }
        }
        ok = ok && TIFFWriteDirectory(tif);
    }
    if (tif)
        TIFFClose(tif);
    std::string bytes;
    if (ok) {
        if (FILE* f = std::fopen(name, "rb")) {
            char block[65536];
            size_t n;
            while ((n = std::fread(block, 1, sizeof block, f)) > 0)
                bytes.append(block, n);
            std::fclose(f);
        }
    }
    std::remove(name);
    return bytes;
}

// --- readers -------------------------------------------------------------------------------

namespace {

// Reads the next whitespace-separated decimal of a PNM header, skipping comments.
bool PnmNumber(const std::string& bytes, size_t& pos, uint32_t& value) {
    while (pos < bytes.size()) {
        char c = bytes[pos];
        if (c == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n')
                ++pos;
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++pos;
        } else {
            break;
        }
    }
    if (pos >= bytes.size() || !std::isdigit(static_cast<unsigned char>(bytes[pos])))
        return false;
    value = 0;
    while (pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[pos])))
        value = value * 10 + static_cast<uint32_t>(bytes[pos++] - '0');
    return true;
}

uint32_t LittleEndian(const std::string& bytes, size_t offset, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + static_cast<size_t>(i)]);
    return value;
}

}  // namespace

RgbPicture ReadPnm(const std::string& bytes) {
    RgbPicture picture;
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
        return picture;
    const bool gray = bytes[1] == '5';
    size_t pos = 2;
    uint32_t width = 0, height = 0, maxValue = 0;
    if (!PnmNumber(bytes, pos, width) || !PnmNumber(bytes, pos, height) || !PnmNumber(bytes, pos, maxValue) ||
        maxValue != 255)
        return picture;
    ++pos;  // the single whitespace byte before the samples
    const size_t count = static_cast<size_t>(width) * height * (gray ? 1 : 3);
    if (bytes.size() < pos + count)
        return picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        for (int c = 0; c < 3; ++c)
            picture.rgb[3 * i + static_cast<size_t>(c)] =
                static_cast<uint8_t>(bytes[pos + (gray ? i : 3 * i + static_cast<size_t>(c))]);
    }
    return picture;
}

RgbPicture ReadBmp24(const std::string& bytes) {
    RgbPicture picture;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M')
        return picture;
    const uint32_t dataOffset = LittleEndian(bytes, 10, 4);
    const auto width = static_cast<int32_t>(LittleEndian(bytes, 18, 4));
    const auto height = static_cast<int32_t>(LittleEndian(bytes, 22, 4));
    if (LittleEndian(bytes, 28, 2) != 24 || LittleEndian(bytes, 30, 4) != 0 || width <= 0 || height == 0)
        return picture;
    const bool bottomUp = height > 0;
    const uint32_t rows = static_cast<uint32_t>(bottomUp ? height : -height);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (bytes.size() < dataOffset + stride * rows)
        return picture;
    picture.width = static_cast<uint32_t>(width);
    picture.height = rows;
    picture.rgb.resize(static_cast<size_t>(width) * rows * 3);
    for (uint32_t top = 0; top < rows; ++top) {
        const uint32_t fileRow = bottomUp ? rows - 1 - top : top;
        const char* source = bytes.data() + dataOffset + fileRow * stride;
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* out = &picture.rgb[(static_cast<size_t>(top) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            out[0] = static_cast<uint8_t>(source[3 * x + 2]);
            out[1] = static_cast<uint8_t>(source[3 * x + 1]);
            out[2] = static_cast<uint8_t>(source[3 * x]);
        }
    }
    return picture;
}

