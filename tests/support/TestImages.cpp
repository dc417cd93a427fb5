#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "support/TempDir.h"

PixelFunction SolidColor(TestRgb color) {
    return [color](uint32_t, uint32_t) { return color; };
}

PixelFunction Pattern(uint32_t seed) {
    return [seed](uint32_t x, uint32_t y) {
        uint32_t s = seed * 37u;
        return TestRgb{static_cast<uint8_t>((x * 3 + s) & 0xFF), static_cast<uint8_t>((y * 5 + s * 3) & 0xFF),
                       static_cast<uint8_t>(((x + y) * 2 + s * 7) & 0xFF)};
    };
}

void WriteJpeg(const std::string& path, uint32_t width, uint32_t height, const PixelFunction& pixel, int quality,
               bool gray) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << "cannot create " << path;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (cinfo.next_scanline < height) {
        uint32_t y = cinfo.next_scanline;
        for (uint32_t x = 0; x < width; ++x) {
            TestRgb c = pixel(x, y);
            if (gray) {
                row[x] = c.g;
            } else {
                row[3 * x] = c.r;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.b;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

namespace {

void PutU16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

std::string BmpHeaders(uint32_t width, uint32_t height, uint32_t bits, uint32_t colours, uint32_t imageBytes) {
    std::string out;
    uint32_t offset = 14 + 40 + 4 * colours;
    out += "BM";
    PutU32(out, offset + imageBytes);  // file size
    PutU32(out, 0);                    // reserved
    PutU32(out, offset);               // offset of the pixel rows
    PutU32(out, 40);                   // biSize
    PutU32(out, width);                // biWidth
    PutU32(out, height);               // biHeight (positive: bottom-up rows)
    PutU16(out, 1);                    // biPlanes
    PutU16(out, bits);                 // biBitCount
    PutU32(out, 0);                    // biCompression BI_RGB
    PutU32(out, imageBytes);           // biSizeImage
    PutU32(out, 2835);                 // biXPelsPerMeter (72 dpi)
    PutU32(out, 2835);                 // biYPelsPerMeter
    PutU32(out, colours);              // biClrUsed
    PutU32(out, 0);                    // biClrImportant
    return out;
}

}  // namespace

void WriteBmp24(const std::string& path, uint32_t width, uint32_t height, const PixelFunction& pixel) {
    uint32_t stride = (width * 3 + 3) & ~3u;
    std::string out = BmpHeaders(width, height, 24, 0, stride * height);
    for (uint32_t row = 0; row < height; ++row) {
        uint32_t y = height - 1 - row;  // rows are stored bottom-up
        std::string line(stride, '\0');
        for (uint32_t x = 0; x < width; ++x) {
            TestRgb c = pixel(x, y);
            line[3 * x] = static_cast<char>(c.b);
            line[3 * x + 1] = static_cast<char>(c.g);
            line[3 * x + 2] = static_cast<char>(c.r);
        }
        out += line;
    }
    WriteFileBytes(path, out);
}

void WriteBmp8(const std::string& path, uint32_t width, uint32_t height, const std::vector<TestRgb>& palette,
               const std::function<uint8_t(uint32_t x, uint32_t y)>& index) {
    uint32_t stride = (width + 3) & ~3u;
    uint32_t colours = static_cast<uint32_t>(palette.size());
    std::string out = BmpHeaders(width, height, 8, colours, stride * height);
    for (const TestRgb& c : palette) {
        out.push_back(static_cast<char>(c.b));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.r));
        out.push_back('\0');
    }
    for (uint32_t row = 0; row < height; ++row) {
        uint32_t y = height - 1 - row;
        std::string line(stride, '\0');
        for (uint32_t x = 0; x < width; ++x)
            line[x] = static_cast<char>(index(x, y));
        out += line;
    }
    WriteFileBytes(path, out);
}
