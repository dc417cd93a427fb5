// pixdump: decodes one picture with the image toolkit, choosing the decoder by the file's
// extension as the program does, prints what the decoder found and can write the result as a
// 24-bit BMP, after the transforms the options ask for. It lets anyone compare the toolkit with
// other programs from the shell.

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/DibHeader.h"
#include "base/DibRows.h"
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

struct Scale {
    int32_t width = 0, height = 0, mode = 0;
};

struct Light {
    int32_t brightness = 0, contrast = 100;
};

/// The file names and the transforms asked for; an absent transform is not applied.
struct Options {
    std::string input, output;
    std::optional<Scale> scale;
    bool flip = false, mirror = false;
    std::optional<float> angle;
    std::optional<Light> light;
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
            Scale& scale = options.scale.emplace();
            if (!need(3) || !ParseInt(argv[i + 1], scale.width) || !ParseInt(argv[i + 2], scale.height) ||
                !ParseInt(argv[i + 3], scale.mode))
                return "--scale needs three whole numbers: W H MODE";
            i += 3;
        } else if (arg == "--flip") {
            options.flip = true;
        } else if (arg == "--mirror") {
            options.mirror = true;
        } else if (arg == "--rotate") {
            if (!need(1) || !ParseFloat(argv[i + 1], options.angle.emplace()))
                return "--rotate needs an angle in degrees";
            i += 1;
        } else if (arg == "--light") {
            Light& light = options.light.emplace();
            if (!need(2) || !ParseInt(argv[i + 1], light.brightness) || !ParseInt(argv[i + 2], light.contrast))
                return "--light needs two whole numbers: BRIGHTNESS CONTRAST";
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

// A BMP file starts with a 14-byte file header: "BM", the file size, two reserved words and the
// offset of the pixel rows, which follow the information header directly.
constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kHeadersBytes = kFileHeaderBytes + sizeof(BITMAPINFOHEADER);

// Writes the picture as an uncompressed 24-bit bottom-up BMP; palettes are expanded and the
// alpha plane is left out.
bool WriteBmp24(const CPixImage& image, const std::string& path) {
    const uint32_t width = image.Width();
    const uint32_t height = image.Height();
    const auto stride = static_cast<size_t>(dib::RowBytes(width, 24));
    const size_t dataBytes = stride * height;
    if (dataBytes + kHeadersBytes > UINT32_MAX) {
        errno = EFBIG;
        return false;
    }
    std::vector<uint8_t> header(kHeadersBytes, 0);
    header[0] = 'B';
    header[1] = 'M';
    le::WriteU32(&header[2], static_cast<uint32_t>(kHeadersBytes + dataBytes));
    le::WriteU32(&header[10], kHeadersBytes);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(BITMAPINFOHEADER);
    info.biWidth = static_cast<LONG>(width);
    info.biHeight = static_cast<LONG>(height);  // positive: bottom row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = static_cast<DWORD>(dataBytes);
    info.biXPelsPerMeter = image.Header().biXPelsPerMeter;
    info.biYPelsPerMeter = image.Header().biYPelsPerMeter;
    dib::WriteInfoHeader(&header[kFileHeaderBytes], info);

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

// Applies the transforms asked for, in this order whatever order the options came in. Returns an
// empty text, or what went wrong.
std::string ApplyTransforms(CPixImage& image, const Options& options) {
    const struct {
        bool asked;
        std::function<bool()> apply;
        const char* failure;
    } steps[] = {
        {options.scale.has_value(),
         [&] { return image.ScaleTo(options.scale->width, options.scale->height, options.scale->mode); },
         "scaling failed"},
        {options.flip, [&] { return image.FlipVertical(); }, "flipping failed"},
        {options.mirror, [&] { return image.MirrorHorizontal(); }, "mirroring failed"},
        {options.angle.has_value(), [&] { return image.RotateByAngle(*options.angle); }, "rotation failed"},
        {options.light.has_value(),
         [&] { return image.AdjustLight(options.light->brightness, options.light->contrast); },
         "brightness/contrast adjustment failed"},
        {options.gray, [&] { return image.ToGray(); }, "gray conversion failed"},
    };
    for (const auto& step : steps) {
        if (step.asked && !step.apply())
            return image.LastError()[0] ? image.LastError() : step.failure;
    }
    return {};
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

    const std::string failure = ApplyTransforms(image, options);
    if (!failure.empty())
        return Fail(failure.c_str());

    if (!options.output.empty() && !WriteBmp24(image, options.output)) {
        std::string text = "cannot write " + options.output + ": " + std::strerror(errno ? errno : EIO);
        return Fail(text.c_str());
    }
    std::printf("%s\n", line);
    return 0;
}
