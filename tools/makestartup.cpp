// makestartup: draws the picture the preview and video boxes show when the program starts, a
// landscape on a strip of film, and writes it as a JPEG. The same arguments give the same bytes.
//
//   makestartup [-s WIDTHxHEIGHT] [-q QUALITY] FILE.jpg

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tools/ToolSupport.h"

namespace {

struct Options {
    int width = 640;
    int height = 480;
    int quality = 92;
    std::string file;
};

struct Color {
    double r, g, b;
};

Color Mix(Color a, Color b, double t) {
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Smooth(double edge0, double edge1, double v) {
    double t = (v - edge0) / (edge1 - edge0);
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return t * t * (3 - 2 * t);
}

// The picture in units of its height: u runs 0 .. aspect across, v 0 .. 1 down.
class StartupPicture {
public:
    explicit StartupPicture(double aspect) : aspect_(aspect) {}

    Color At(double u, double v) const {
        if (v < kBand || v > 1 - kBand)
            return Film(u, v);
        return Scene(u, (v - kBand) / (1 - 2 * kBand));
    }

private:
    static constexpr double kBand = 0.1;  // height of the film's edge with its sprocket holes

    Color Film(double u, double v) const {
        const double inBand = v < kBand ? v / kBand : (1 - v) / kBand;  // 0 at the picture's edge
        Color film = Mix(Color{58, 58, 64}, Color{28, 28, 32}, inBand);
        // Sprocket holes: rounded rectangles at a steady pitch, centred across the width.
        const double pitch = 0.125;
        const double offset = std::fmod(aspect_ / 2, pitch);
        const double du = std::fabs(std::fmod(u - offset + pitch * 100, pitch) - pitch / 2);
        const double dv = std::fabs(inBand - 0.5) * kBand;
        const double holeW = 0.028, holeH = 0.022, round = 0.008;
        const double qx = std::fmax(du - (holeW - round), 0), qy = std::fmax(dv - (holeH - round), 0);
        if (std::sqrt(qx * qx + qy * qy) < round)
            return Color{236, 236, 238};
        return film;
    }

    Color Scene(double u, double v) const {
        const double x = u / aspect_;  // 0 .. 1 across the scene
        const double far = 0.48 + 0.08 * std::sin(x * 9.0 + 0.4) + 0.035 * std::sin(x * 23.0 + 2.0) +
                           0.012 * std::sin(x * 61.0);
        const double hills = 0.58 + 0.035 * std::sin(x * 13.0 + 1.0) + 0.01 * std::sin(x * 37.0);
        const double lake = 0.64;
        const double near = 0.8 + 0.06 * std::sin(x * 4.2 + 2.6) + 0.015 * std::sin(x * 17.0);
        if (v >= near)
            return Meadow(x, v, near);
        if (v >= lake)
            return Water(x, v, lake);
        if (v >= hills)
            return Mix(Color{70, 112, 96}, Color{52, 92, 80}, (v - hills) / (lake - hills));
        if (v >= far)
            return Mountain(x, v, far, lake);
        return Sky(x, v);
    }

    Color Sky(double x, double v) const {
        Color sky = Mix(Color{34, 96, 190}, Color{250, 206, 150}, std::pow(v / 0.66, 1.6));
        // Sun with a soft glow.
        const double dx = (x - 0.7) * aspect_, dy = v - 0.3;
        const double d = std::sqrt(dx * dx + dy * dy);
        const double sunR = 0.065;
        sky = Mix(sky, Color{255, 238, 190}, 0.55 * std::exp(-(d - sunR) / 0.16));
        if (d < sunR)
            sky = Mix(Color{255, 250, 220}, sky, Smooth(sunR - 0.004, sunR, d));
        // Two soft clouds.
        sky = Mix(sky, Color{255, 255, 255}, 0.7 * Cloud(x, v, 0.22, 0.18));
        sky = Mix(sky, Color{255, 250, 244}, 0.55 * Cloud(x, v, 0.48, 0.1));
        return sky;
    }

    double Cloud(double x, double v, double cx, double cy) const {
        double amount = 0;
        const double puffs[][3] = {{0, 0, 0.06},      {0.05, -0.025, 0.05}, {-0.05, 0.005, 0.045},
                                   {0.1, 0.01, 0.04}, {-0.09, 0.015, 0.03}, {0.025, 0.02, 0.05}};
        for (const auto& p : puffs) {
            const double dx = (x - cx - p[0]) * aspect_ * 0.8, dy = (v - cy - p[1]) * 2.2;
            amount += std::exp(-(dx * dx + dy * dy) / (p[2] * p[2]));
        }
        return Smooth(0.3, 1.2, amount);
    }

    Color Mountain(double x, double v, double ridge, double foot) const {
        const double depth = (v - ridge) / (foot - ridge);
        Color rock = Mix(Color{104, 124, 168}, Color{72, 100, 120}, depth);
        // A light face towards the sun on the slopes.
        const double slope = std::cos(x * 9.0 + 0.4);
        return Mix(rock, Color{150, 160, 190}, 0.25 * std::fmax(slope, 0) * (1 - depth));
    }

    Color Water(double x, double v, double shore) const {
        // The sky mirrored at the shore, darker and bluer, with ripples.
        const double mirrored = shore - (v - shore) * 3.0;
        Color sky = Sky(x, std::fmax(mirrored, 0.0));
        const double ripple = 0.5 + 0.5 * std::sin(v * 420.0 + std::sin(x * 40.0) * 2.0);
        Color water = Mix(sky, Color{40, 84, 130}, 0.35 + 0.08 * ripple);
        return water;
    }

    Color Meadow(double x, double v, double edge) const {
        const double depth = Smooth(0, 0.3, v - edge);
        Color grass = Mix(Color{124, 186, 70}, Color{46, 112, 34}, depth);
        // Light stripes of mown grass and a brighter rim where the meadow meets the water.
        grass = Mix(grass, Color{150, 204, 90}, 0.08 * (0.5 + 0.5 * std::sin(x * 48.0 + v * 30.0)));
        return Mix(Color{170, 214, 110}, grass, Smooth(0, 0.01, v - edge));
    }

    double aspect_;
};

uint8_t Byte(double v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
}

// Each pixel is the mean of 3 x 3 samples, which smooths the edges of the shapes.
std::vector<uint8_t> Draw(const Options& options) {
    const double h = options.height;
    const StartupPicture picture(options.width / h);
    std::vector<uint8_t> rgb(static_cast<size_t>(options.width) * options.height * 3);
    constexpr int kSamples = 3;
    uint8_t* out = rgb.data();
    for (int y = 0; y < options.height; ++y)
        for (int x = 0; x < options.width; ++x) {
            Color sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Color c = picture.At((x + (sx + 0.5) / kSamples) / h, (y + (sy + 0.5) / kSamples) / h);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            constexpr double n = kSamples * kSamples;
            *out++ = Byte(sum.r / n);
            *out++ = Byte(sum.g / n);
            *out++ = Byte(sum.b / n);
        }
    return rgb;
}

bool WriteJpeg(const Options& options, const std::vector<uint8_t>& rgb) {
    const size_t stride = static_cast<size_t>(options.width) * 3;
    return tools::WriteJpegFile("makestartup", options.file, options.width, options.height, 3, options.quality,
                                [&](int y, uint8_t* row) { std::memcpy(row, &rgb[static_cast<size_t>(y) * stride], stride); });
}

int Usage() {
    std::fprintf(stderr, "usage: makestartup [-s WIDTHxHEIGHT] [-q QUALITY] FILE.jpg\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2 || options.width < 16 ||
                options.height < 16 || options.width > 8192 || options.height > 8192)
                return Usage();
        } else if (std::strcmp(argv[i], "-q") == 0 && i + 1 < argc) {
            if (!tools::ParseNumber(argv[++i], 1, 100, options.quality))
                return Usage();
        } else if (argv[i][0] != '-' && options.file.empty()) {
            options.file = argv[i];
        } else {
            return Usage();
        }
    }
    if (options.file.empty())
        return Usage();
    return WriteJpeg(options, Draw(options)) ? 0 : 1;
}
