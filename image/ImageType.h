#pragma once
// Format codes of the image toolkit and the extension table that picks one for a file name.

#include <cstdint>
#include <string_view>

enum ImageType : uint32_t {
    Bmp = 0,
    Gif = 1,
    Jpeg = 2,
    Png = 3,
    Ico = 4,
    Tiff = 5,
    Tga = 6,
    Pcx = 7,
    Wbmp = 8,  // reserved, never requested
    Wmf = 9,   // reserved, never requested
};

constexpr uint32_t kHighestImageType = Wmf;

/// The type for a path's extension (compared ignoring case), or -1 when the extension is not one
/// the program loads. The extension is what follows the last '.' of the last path component.
int ImageTypeForPath(std::string_view path);
