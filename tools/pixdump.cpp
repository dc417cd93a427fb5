// pixdump: decodes one picture with the image toolkit, choosing the decoder by the file's
// extension as the program does, prints what the decoder found and can write the result as a
// 24-bit BMP, after the transforms the options ask for. It lets anyone compare the toolkit with
// other programs from the shell.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/ImageType.h"
#include "image/PixImage.h"

namespace {

constexpr const char* kUsage =
    "usage: pixdump FILE [OUT.bmp] [options]\n"
    "Decodes FILE (type chosen by its extension), prints one line describing it and, with OUT,\n"
    "writes the picture as a 24-bit BMP. The options are applied in this order, whatever\n"
    "order they are given in:\n"
    "  --scale W H MODE   resample to W x H (MODE nonzero: fast, 0: smooth)\n"
    "  --flip             turn upside down\n"
    "  --mirror           reverse left to right\n"
    "  --rotate DEG       rotate by DEG degrees (clockwise)\n"
    "  --light B C        brightness B (-255..255), contrast C percent (100 keeps it)\n"
    "  --gray             convert to 8-bit gray\n";

struct Options {
    std::string input;
    std::string output;
    bool scale = false;
    int32_t scaleWidth = 0;
    int32_t scaleHeight = 0;
    int32_t scaleMode = 0;
    bool flip = false;
    bool mirror = false;
    bool rotate = false;
    float angle = 0;
    bool light = false;
    int32_t brightness = 0;
    int32_t contrast = 100;
    bool gray = false;
};

bool ParseInt(const char* text, int32_t& value) {
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

bool ParseFloat(const char* text, float& value) {
    char* end = nullptr;
    errno = 0;
    float parsed = std::strtof(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

// Returns an empty text when the arguments are good, else what is wrong with them.
std::string ParseArguments(int argc, char** argv, Options& options) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto need = [&](int count) { return i + count < argc; };
        if (arg == "--scale") {
            if (!need(3) || !ParseInt(argv[i + 1], options.scaleWidth) || !ParseInt(argv[i + 2], options.scaleHeight) ||
                !ParseInt(argv[i + 3], options.scaleMode))
                return "--scale needs three whole numbers: W H MODE";
            options.scale = true;
            i += 3;
        } else if (arg == "--flip") {
            options.flip = true;
        } else if (arg == "--mirror") {
            options.mirror = true;
        } else if (arg == "--rotate") {
            if (!need(1) || !ParseFloat(argv[i + 1], options.angle))
                return "--rotate needs an angle in degrees";
            options.rotate = true;
            i += 1;
        } else if (arg == "--light") {
            if (!need(2) || !ParseInt(argv[i + 1], options.brightness) || !ParseInt(argv[i + 2], options.contrast))
                return "--light needs two whole numbers: BRIGHTNESS CONTRAST";
            options.light = true;
            i += 2;
        } else if (arg == "--gray") {
            options.gray = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return "unknown option " + arg;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty())
        return "no input file given";
    if (positional.size() > 2)
        return "too many file names";
    options.input = positional[0];
    if (positional.size() == 2)
        options.output = positional[1];
    return {};
}

void PutU16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes the picture as an uncompressed 24-bit bottom-up BMP; palettes are expanded and the
// alpha plane is left out.
bool WriteBmp24(const CPixImage& image, const std::string& path) {
    const uint32_t width = image.Width();
    const uint32_t height = image.Height();
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const size_t dataBytes = stride * height;
    if (dataBytes + 54 > UINT32_MAX) {
        errno = EFBIG;
        return false;
    }
    std::vector<uint8_t> header(54, 0);
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header, 2, static_cast<uint32_t>(54 + dataBytes));  // file size
    PutU32(header, 10, 54);                                     // offset of the pixel rows
    PutU32(header, 14, 40);                                     // BITMAPINFOHEADER size
    PutU32(header, 18, width);
    PutU32(header, 22, height);  // positive: bottom row first
    PutU16(header, 26, 1);       // planes
    PutU16(header, 28, 24);      // bits per pixel
    PutU32(header, 34, static_cast<uint32_t>(dataBytes));
    PutU32(header, 38, static_cast<uint32_t>(image.Header().biXPelsPerMeter));
    PutU32(header, 42, static_cast<uint32_t>(image.Header().biYPelsPerMeter));

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t y = 0; y < height && ok; ++y) {
        if (image.BitsPerPixel() == 24) {
            // A 24-bit image row has the BMP row's exact size and layout.
            std::memcpy(row.data(), image.Row(y), stride);
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                RGBQUAD c = image.PixelColor(x, y);
                row[3 * x] = c.rgbBlue;
                row[3 * x + 1] = c.rgbGreen;
                row[3 * x + 2] = c.rgbRed;
            }
        }
        ok = std::fwrite(row.data(), 1, stride, file) == stride;
    }
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

int Fail(const char* text) {
    std::printf("error: %s\n", text);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string problem = ParseArguments(argc, argv, options);
    if (!problem.empty()) {
        std::fprintf(stderr, "pixdump: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }

    int type = ImageTypeForPath(options.input);
    if (type < 0) {
        std::string text = "unsupported file extension: " + options.input;
        return Fail(text.c_str());
    }
    CPixImage image(static_cast<uint32_t>(type));
    errno = 0;
    if (!image.LoadFile(options.input.c_str(), static_cast<uint32_t>(type))) {
        if (image.LastError()[0] != '\0')
            return Fail(image.LastError());
        std::string text = "cannot open " + options.input + ": " + std::strerror(errno ? errno : ENOENT);
        return Fail(text.c_str());
    }

    const ImageInfo& info = image.Info();
    // The line describes the decoded file; it is printed only when everything asked for worked,
    // so the output is always exactly one line.
    char line[256];
    std::snprintf(line, sizeof line,
                  "type=%u width=%u height=%u bpp=%u dpi=%d,%d palette=%u background=%d alpha=%d frames=%d",
                  image.Type(), image.Width(), image.Height(), image.BitsPerPixel(), info.dpiX, info.dpiY,
                image.Header().biClrUsed, info.backgroundIndex, image.HasAlpha() ? 1 : 0, info.frameCount);

    if (options.scale && !image.ScaleTo(options.scaleWidth, options.scaleHeight, options.scaleMode))
        return Fail(image.LastError()[0] ? image.LastError() : "scaling failed");
    if (options.flip && !image.FlipVertical())
        return Fail(image.LastError()[0] ? image.LastError() : "flipping failed");
    if (options.mirror && !image.MirrorHorizontal())
        return Fail(image.LastError()[0] ? image.LastError() : "mirroring failed");
    if (options.rotate && !image.RotateByAngle(options.angle))
        return Fail(image.LastError()[0] ? image.LastError() : "rotation failed");
    if (options.light && !image.AdjustLight(options.brightness, options.contrast))
        return Fail(image.LastError()[0] ? image.LastError() : "brightness/contrast adjustment failed");
    if (options.gray && !image.ToGray())
        return Fail(image.LastError()[0] ? image.LastError() : "gray conversion failed");

    if (!options.output.empty() && !WriteBmp24(image, options.output)) {
        std::string text = "cannot write " + options.output + ": " + std::strerror(errno ? errno : EIO);
        return Fail(text.c_str());
    }
    std::printf("%s\n", line);
    return 0;
}
