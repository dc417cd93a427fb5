#include "image/ImageType.h"

#include <array>
#include <string_view>
#include <utility>

#include "base/AsciiCase.h"

namespace {

constexpr std::array<std::pair<std::string_view, ImageType>, 10> kExtensions{{
    {".bmp", Bmp},
    {".gif", Gif},
    {".jpg", Jpeg},
    {".jpeg", Jpeg},
    {".png", Png},
    {".ico", Ico},
    {".tiff", Tiff},
    {".tif", Tiff},
    {".tga", Tga},
    {".pcx", Pcx},
}};

}  // namespace

int ImageTypeForPath(std::string_view path) {
    size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return -1;
    const std::string_view extension = name.substr(dot);
    for (const auto& [text, type] : kExtensions) {
        if (EqualIgnoringAsciiCase(extension, text))
            return static_cast<int>(type);
    }
    return -1;
}
