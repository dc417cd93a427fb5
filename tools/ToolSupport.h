#pragma once
// What the small picture-making programs share: reading a number option and writing a JPEG
// file row by row.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace tools {

/// Reads a whole decimal number in [low, high] into value; false (value untouched) otherwise.
inline bool ParseNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

/// Writes a baseline JPEG of width x height pixels with 3 (RGB) or 1 (gray) components per
/// pixel. fillRow(y, row) fills the row y of width * components bytes. A failure is reported on
/// stderr under the tool's name.
template <typename FillRow>
bool WriteJpegFile(const char* tool, const std::string& path, int width, int height, int components, int quality,
                   FillRow fillRow) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", tool, path.c_str(), std::strerror(errno));
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * static_cast<size_t>(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        fillRow(static_cast<int>(cinfo.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool written = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", tool, path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace tools
