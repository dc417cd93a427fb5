#include "config/ui/LibraryVersions.h"

#include <link.h>
#include <png.h>
#include <tiffio.h>
#include <wx/utils.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
}

namespace {

#define PIXREEL_TEXT(x) #x
#define PIXREEL_EXPANDED_TEXT(x) PIXREEL_TEXT(x)

std::string JpegVersion() {
    // libjpeg has no call that names its version; the turbo build says it in its header.
#ifdef LIBJPEG_TURBO_VERSION
    return PIXREEL_EXPANDED_TEXT(LIBJPEG_TURBO_VERSION) " (libjpeg API " PIXREEL_EXPANDED_TEXT(JPEG_LIB_VERSION)
                                                         "), as built";
#else
    return "libjpeg API " PIXREEL_EXPANDED_TEXT(JPEG_LIB_VERSION) ", as built";
#endif
}

// TIFFGetVersion answers "LIBTIFF, Version 4.5.0" and a copyright text on the next lines.
std::string TiffVersion() {
    std::string text = TIFFGetVersion();
    text = text.substr(0, text.find('\n'));
    const std::string marker = "Version ";
    const size_t at = text.find(marker);
    return at == std::string::npos ? text : text.substr(at + marker.size());
}

std::string AvcodecVersion() {
    const unsigned version = avcodec_version();
    char text[96];
    std::snprintf(text, sizeof text, "%u.%u.%u (FFmpeg %s)", version >> 16, (version >> 8) & 0xFF, version & 0xFF,
                  av_version_info());
    return text;
}

// libx264 is reached only through libavcodec, which says nothing of its version; the library
// that the process has loaded names its build number in its file name (libx264.so.164).
int FindLoadedX264(dl_phdr_info* info, size_t, void* data) {
    const char* name = info->dlpi_name ? std::strrchr(info->dlpi_name, '/') : nullptr;
    const std::string file = name ? name + 1 : "";
    const std::string prefix = "libx264.so.";
    if (file.rfind(prefix, 0) == 0) {
        *static_cast<std::string*>(data) = file.substr(prefix.size());
        return 1;
    }
    return 0;
}

std::string X264Version() {
    if (!avcodec_find_encoder_by_name("libx264"))
        return "not available in this libavcodec";
    std::string build;
    dl_iterate_phdr(&FindLoadedX264, &build);
    if (build.empty())
        return "encoder present in libavcodec";
    return "build " + build + ", through libavcodec";
}

std::string WxVersion() {
    const wxVersionInfo info = wxGetLibraryVersionInfo();
    return std::to_string(info.GetMajor()) + "." + std::to_string(info.GetMinor()) + "." +
           std::to_string(info.GetMicro());
}

}  // namespace

std::vector<LibraryVersion> LibraryVersions() {
    return {
        {"libjpeg-turbo", JpegVersion()},
        {"libpng", png_get_libpng_ver(nullptr)},
        {"libtiff", TiffVersion()},
        {"zlib", zlibVersion()},
        {"wxWidgets", WxVersion()},
        {"FFmpeg libavcodec", AvcodecVersion()},
        {"x264", X264Version()},
    };
}
