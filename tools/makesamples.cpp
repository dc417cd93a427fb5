// makesamples: writes a series of photo-like JPEG pictures (a landscape under a moving sun) for
// the demo, the tests and the benchmark. The same arguments always give the same bytes.
//
//   makesamples [-n COUNT] [-s WIDTHxHEIGHT] [-q QUALITY] [--gray] DIR
//
// The files are DIR/sample_001.jpg, ... Their modification times are one second apart in name
// order, so that a listing by last-write time (the program's default order) is the name order.

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Options {
    int count = 8;
    int width = 640;
    int height = 480;
    int quality = 90;
    bool gray = false;
    std::string folder;
};

int Usage() {
    std::fprintf(stderr, "usage: makesamples [-n COUNT] [-s WIDTHxHEIGHT] [-q QUALITY] [--gray] DIR\n");
    return 2;
}

// A small integer hash: film grain that is the same for the same pixel and frame.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t frame) {
    uint32_t h = x * 374761393u + y * 668265263u + frame * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

uint8_t Clamp(double v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
}

// One row of frame `frame` of `count`: sky, sun, hills and a field, with some grain.
void FillRow(std::vector<uint8_t>& row, const Options& options, int frame, int y) {
    const double w = options.width;
    const double h = options.height;
    const double t = options.count > 1 ? static_cast<double>(frame) / (options.count - 1) : 0.5;
    const double sunX = w * (0.1 + 0.8 * t);
    const double sunY = h * (0.45 - 0.3 * std::sin(t * M_PI));
    const double sunR = h * 0.07;
    const double v = y / h;
    for (int x = 0; x < options.width; ++x) {
        const double u = x / w;
        double horizon = 0.62 + 0.06 * std::sin(u * 7.0 + 1.3) + 0.03 * std::sin(u * 23.0);
        double r, g, b;
        if (v < horizon) {
            // Sky: deep blue at the top to a warm haze at the horizon, brighter near the sun.
            double k = v / horizon;
            r = 40 + 170 * k;
            g = 90 + 120 * k;
            b = 200 + 40 * k;
            double dx = x - sunX, dy = y - sunY;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < sunR) {
                r = 255;
                g = 240;
                b = 190;
            } else {
                double glow = std::exp(-(d - sunR) / (h * 0.12));
                r += 90 * glow;
                g += 60 * glow;
                b += 10 * glow;
            }
        } else {
            // Field: green rows that run to the horizon, with a track.
            double k = (v - horizon) / (1.0 - horizon);
            double stripes = 0.5 + 0.5 * std::sin((u - 0.5) / (k + 0.05) * 40.0);
            r = 50 + 40 * k + 25 * stripes;
            g = 110 + 50 * k + 30 * stripes;
            b = 40 + 20 * k;
            if (std::fabs(u - 0.5 - 0.1 * std::sin(k * 3.0)) < 0.02 + 0.1 * k) {
                r = 150 + 30 * k;
                g = 120 + 20 * k;
                b = 90;
            }
        }
        double grain = static_cast<double>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                                static_cast<uint32_t>(frame)) % 17) - 8.0;
        if (options.gray) {
            row[static_cast<size_t>(x)] = Clamp(0.299 * r + 0.587 * g + 0.114 * b + grain);
        } else {
            row[3 * static_cast<size_t>(x)] = Clamp(r + grain);
            row[3 * static_cast<size_t>(x) + 1] = Clamp(g + grain);
            row[3 * static_cast<size_t>(x) + 2] = Clamp(b + grain);
        }
    }
}

bool WriteSample(const std::string& path, const Options& options, int frame) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "makesamples: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(options.width);
    cinfo.image_height = static_cast<JDIMENSION>(options.height);
    cinfo.input_components = options.gray ? 1 : 3;
    cinfo.in_color_space = options.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(options.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        FillRow(row, options, frame, static_cast<int>(cinfo.next_scanline));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bool ok = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "makesamples: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool ParseInt(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-n" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 1, 100000, options.count))
                return Usage();
        } else if (arg == "-s" && i + 1 < argc) {
            std::string size = argv[++i];
            size_t x = size.find('x');
            if (x == std::string::npos || !ParseInt(size.substr(0, x).c_str(), 1, 30000, options.width) ||
                !ParseInt(size.substr(x + 1).c_str(), 1, 30000, options.height))
                return Usage();
        } else if (arg == "-q" && i + 1 < argc) {
            if (!ParseInt(argv[++i], 1, 100, options.quality))
                return Usage();
        } else if (arg == "--gray") {
            options.gray = true;
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) {
            options.folder = arg;
        } else {
            return Usage();
        }
    }
    if (options.folder.empty())
        return Usage();
    std::error_code error;
    std::filesystem::create_directories(options.folder, error);
    if (error) {
        std::fprintf(stderr, "makesamples: cannot create %s: %s\n", options.folder.c_str(), error.message().c_str());
        return 1;
    }

    const time_t base = std::time(nullptr) - options.count - 60;
    for (int frame = 0; frame < options.count; ++frame) {
        char name[64];
        std::snprintf(name, sizeof name, "/sample_%03d.jpg", frame + 1);
        std::string path = options.folder + name;
        if (!WriteSample(path, options, frame))
            return 1;
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = base + frame;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    std::printf("%d samples of %dx%d in %s\n", options.count, options.width, options.height, options.folder.c_str());
    return 0;
}
