// makesamples: writes a series of photo-like JPEG pictures (a landscape under a moving sun) for
// the demo, the tests and the benchmark. The same arguments always give the same bytes.
//
//   makesamples [-n COUNT] [-s WIDTHxHEIGHT] [-q QUALITY] [--gray] [--png] DIR
//
// The files are DIR/sample_001.jpg, ... (with --png, 24-bit or gray PNGs sample_001.png, ...). Their modification times are one second apart in name
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

#include "tools/ToolSupport.h"
#include <png.h>

namespace {

struct Options {
    int count = 8;
    int width = 640;
    int height = 480;
    int quality = 90;
    bool gray = false;
    bool png = false;
    std::string folder;
};

int Usage() {
    std::fprintf(stderr, "usage: makesamples [-n COUNT] [-s WIDTHxHEIGHT] [-q QUALITY] [--gray] [--png] DIR\n");
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

// Smooth value noise in 0..1 on a lattice of unit cells, and its sum over octaves (clouds,
// foliage, the texture of rock): the detail that makes a picture cost what a photograph costs
// to compress.
double Lattice(int x, int y, uint32_t seed) { return (Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) & 0xFFFF) / 65535.0; }

double ValueNoise(double x, double y, uint32_t seed) {
    const int x0 = static_cast<int>(std::floor(x));
    const int y0 = static_cast<int>(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double top = Lattice(x0, y0, seed) + sx * (Lattice(x0 + 1, y0, seed) - Lattice(x0, y0, seed));
    const double bottom = Lattice(x0, y0 + 1, seed) + sx * (Lattice(x0 + 1, y0 + 1, seed) - Lattice(x0, y0 + 1, seed));
    return top + sy * (bottom - top);
}

double Fractal(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, amplitude = 0.5;
    for (int i = 0; i < octaves; ++i, x *= 2.03, y *= 2.03, amplitude *= 0.5)
        sum += amplitude * ValueNoise(x, y, seed + static_cast<uint32_t>(i));
    return sum;
}

// One row of frame `frame` of `count`: a landscape under a moving sun, seen by a camera that pans
// slowly: clouds, a sun with its glow, hills with trees and rock, a field with furrows and a track,
// a house with hard edges, and film grain. Scales are relative to the picture's height, so every
// size shows the same scene.
void FillRow(uint8_t* row, const Options& options, int frame, int y) {
    const double w = options.width;
    const double h = options.height;
    const double t = options.count > 1 ? static_cast<double>(frame) / (options.count - 1) : 0.5;
    const double pan = h * 0.004 * frame;  // pixels the camera has moved
    const double sunX = w * (0.1 + 0.8 * t);
    const double sunY = h * (0.45 - 0.3 * std::sin(t * M_PI));
    const double sunR = h * 0.07;
    const double v = y / h;
    for (int x = 0; x < options.width; ++x) {
        const double sceneX = x + pan;        // the scene's own coordinates, in pixels
        const double u = sceneX / h;          // and relative to the height
        const double horizon = 0.58 + 0.06 * std::sin(u * 4.0 + 1.3) + 0.03 * std::sin(u * 13.0) +
                               0.02 * Fractal(u * 8, 0.5, 3, 7);
        double r, g, b;
        if (v < horizon) {
            // Sky: deep blue at the top to a warm haze at the horizon, with clouds and the sun.
            const double k = v / horizon;
            r = 40 + 170 * k;
            g = 90 + 120 * k;
            b = 200 + 40 * k;
            const double cloud = Fractal(u * 3 + 0.1 * frame, v * 9, 5, 11);
            const double cover = cloud > 0.5 ? (cloud - 0.5) * 2.4 : 0;
            r += (240 - r) * cover;
            g += (240 - g) * cover;
            b += (245 - b) * cover;
            const double dx = x - sunX, dy = y - sunY;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < sunR) {
                r = 255;
                g = 240;
                b = 190;
            } else {
                const double glow = std::exp(-(d - sunR) / (h * 0.12));
                r += 90 * glow;
                g += 60 * glow;
                b += 10 * glow;
            }
        } else if (v < horizon + 0.08) {
            // Hills: dark trees against rock, both with fine texture.
            const double leaves = Fractal(u * 60, v * 60, 4, 23);
            const double rock = Fractal(u * 25, v * 90, 4, 29);
            const bool tree = Fractal(u * 12, 0.3, 2, 31) > 0.45;
            r = tree ? 30 + 50 * leaves : 110 + 70 * rock;
            g = tree ? 60 + 70 * leaves : 100 + 60 * rock;
            b = tree ? 25 + 30 * leaves : 90 + 50 * rock;
        } else {
            // Field: furrows that run to the horizon, grass texture, a track.
            const double k = (v - horizon) / (1.0 - horizon);
            const double furrows = 0.5 + 0.5 * std::sin((u - 0.9) / (k + 0.05) * 30.0);
            const double grass = Fractal(u * 150 * (1 - 0.7 * k), v * 150, 3, 41);
            r = 50 + 40 * k + 25 * furrows + 40 * (grass - 0.25);
            g = 110 + 50 * k + 30 * furrows + 60 * (grass - 0.25);
            b = 40 + 20 * k + 20 * (grass - 0.25);
            if (std::fabs(u - 0.9 - 0.1 * std::sin(k * 3.0)) < 0.02 + 0.1 * k) {
                const double gravel = Fractal(u * 200, v * 200, 2, 43);
                r = 150 + 30 * k + 30 * gravel;
                g = 120 + 20 * k + 30 * gravel;
                b = 90 + 30 * gravel;
            }
        }
        // A house: white wall, red roof, a dark window, all with sharp edges.
        const double houseX = u - 0.35, houseV = v - (horizon + 0.04);
        if (houseX > 0 && houseX < 0.16 && houseV > -0.10 && houseV < 0.02) {
            const bool roof = houseV < -0.05 && std::fabs(houseX - 0.08) < (houseV + 0.10) * 1.6;
            const bool wall = houseV >= -0.05;
            const bool window = wall && houseX > 0.03 && houseX < 0.06 && houseV > -0.035 && houseV < -0.01;
            if (roof) {
                r = 170; g = 50; b = 40;
            } else if (window) {
                r = 30; g = 35; b = 50;
            } else if (wall) {
                r = 225; g = 220; b = 205;
            }
        }
        const double grain = static_cast<double>(Hash(static_cast<uint32_t>(x), static_cast<uint32_t>(y),
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
    return tools::WriteJpegFile("makesamples", path, options.width, options.height, options.gray ? 1 : 3,
                                options.quality, [&](int y, uint8_t* row) { FillRow(row, options, frame, y); });
}

bool WritePng(const std::string& path, const Options& options, int frame) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "makesamples: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    // Made before the setjmp: a jump back from libpng passes no destructor.
    std::vector<uint8_t> row(static_cast<size_t>(options.width) * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        std::fprintf(stderr, "makesamples: cannot write %s\n", path.c_str());
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(options.width), static_cast<png_uint_32>(options.height), 8,
                 options.gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < options.height; ++y) {
        FillRow(row.data(), options, frame, y);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bool ok = std::ferror(file) == 0;
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "makesamples: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-n" && i + 1 < argc) {
            if (!tools::ParseNumber(argv[++i], 1, 100000, options.count))
                return Usage();
        } else if (arg == "-s" && i + 1 < argc) {
            std::string size = argv[++i];
            size_t x = size.find('x');
            if (x == std::string::npos || !tools::ParseNumber(size.substr(0, x).c_str(), 1, 30000, options.width) ||
                !tools::ParseNumber(size.substr(x + 1).c_str(), 1, 30000, options.height))
                return Usage();
        } else if (arg == "-q" && i + 1 < argc) {
            if (!tools::ParseNumber(argv[++i], 1, 100, options.quality))
                return Usage();
        } else if (arg == "--gray") {
            options.gray = true;
        } else if (arg == "--png") {
            options.png = true;
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
        std::snprintf(name, sizeof name, "/sample_%03d.%s", frame + 1, options.png ? "png" : "jpg");
        std::string path = options.folder + name;
        if (!(options.png ? WritePng(path, options, frame) : WriteSample(path, options, frame)))
            return 1;
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = base + frame;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    std::printf("%d samples of %dx%d in %s\n", options.count, options.width, options.height, options.folder.c_str());
    return 0;
}
