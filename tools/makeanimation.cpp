// makeanimation: draws the About box's animation, a film reel turning and paying out its film,
// and writes it as a looping animated GIF. The same arguments give the same bytes.
//
//   makeanimation [-s SIZE] [-n FRAMES] [-d DELAY] FILE.gif
//
// SIZE is the side in pixels (64 by default), FRAMES the number of frames of one loop (12) and
// DELAY the time each frame shows, in hundredths of a second (6).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tools/ToolSupport.h"

namespace {

struct Options {
    int size = 64;
    int frames = 12;
    int delay = 6;
    std::string file;
};

struct Rgb {
    uint8_t r, g, b;
    bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
};

struct Color {
    double r, g, b, a;  // a: coverage, 0 transparent .. 1 opaque
};

constexpr Color kClear{0, 0, 0, 0};

Color Over(Color top, Color under) {
    const double a = top.a + under.a * (1 - top.a);
    if (a <= 0)
        return kClear;
    return {(top.r * top.a + under.r * under.a * (1 - top.a)) / a, (top.g * top.a + under.g * under.a * (1 - top.a)) / a,
            (top.b * top.a + under.b * under.a * (1 - top.a)) / a, a};
}

Color Lerp(Color a, Color b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// ---------------------------------------------------------------------------------------------
// The picture, in units of a 64-pixel square: a reel on the left turning anticlockwise, the
// film leaving it along the bottom to the right, its sprocket holes moving with it.

class Reel {
public:
    static constexpr double kSide = 64;
    static constexpr double kCentreX = 27, kCentreY = 27;
    static constexpr double kFlange = 25;  // outer radius of the reel's disc
    static constexpr double kWound = 19;   // radius of the film wound on it
    static constexpr double kStripTop = 46 - 0.5, kStripBottom = 56;  // the film's edges
    static constexpr double kHolePitch = 8;
    // How far the film moves in one loop: near the speed of the wound film's surface, and a
    // whole number of its little frames (two hole pitches each) so that the loop is seamless.
    static constexpr double kRunPerLoop = 4 * kHolePitch;

    /// The colour at (x, y) when the reel has turned by `turn` (0 .. 1 of a loop).
    Color At(double x, double y, double turn) const {
        Color c = Film(x, y, turn);
        return Over(Disc(x, y, turn), c);
    }

private:
    Color Film(double x, double y, double turn) const {
        if (x < kCentreX || x > kSide || y < kStripTop || y > kStripBottom)
            return kClear;
        const Color film = Lerp(Color{70, 70, 76, 1}, Color{34, 34, 38, 1}, (y - kStripTop) / (kStripBottom - kStripTop));
        // Holes along both edges, moving right as the reel pays out.
        const double run = x - kCentreX - turn * kRunPerLoop + 100 * kRunPerLoop;
        const double along = std::fmod(run, kHolePitch);
        const bool inRowTop = y > kStripTop + 1.5 && y < kStripTop + 3.5;
        const bool inRowBottom = y > kStripBottom - 3.5 && y < kStripBottom - 1.5;
        if ((inRowTop || inRowBottom) && along > 2.5 && along < 5.5)
            return Color{238, 238, 240, 1};
        // A frame of the film, a little picture between the hole rows.
        const double frame = std::fmod(run, 2 * kHolePitch);
        if (y > kStripTop + 4.5 && y < kStripBottom - 4.5 && frame > 2 && frame < 14)
            return Lerp(Color{92, 150, 224, 1}, Color{176, 214, 250, 1}, (y - kStripTop - 4.5) / 5.5);
        return film;
    }

    Color Disc(double x, double y, double turn) const {
        const double dx = x - kCentreX, dy = y - kCentreY;
        const double r = std::hypot(dx, dy);
        if (r > kFlange)
            return kClear;
        // Three windows and three small holes turn with the reel; 120 degrees make one loop.
        const double angle = std::atan2(dy, dx) + turn * 2 * M_PI / 3;
        for (int k = 0; k < 3; ++k) {
            const double a = angle + k * 2 * M_PI / 3;
            if (std::hypot(r * std::cos(a) - 13.5, r * std::sin(a)) < 7)
                return r < kWound ? WoundFilm(r) : kClear;
            const double b = a + M_PI / 3;
            if (std::hypot(r * std::cos(b) - 19.5, r * std::sin(b)) < 2.6)
                return kClear;
        }
        if (r < 2.2)
            return kClear;                         // the spindle hole
        if (r < 5.5)
            return Color{120, 126, 134, 1};        // the hub
        if (r > kFlange - 1.4)
            return Color{96, 102, 110, 1};         // the rim
        // Brushed metal, lit from the top left.
        const double light = (-dx - dy) / (2 * kFlange) + 0.5;
        return Lerp(Color{150, 156, 164, 1}, Color{226, 229, 233, 1}, light);
    }

    static Color WoundFilm(double r) {
        // Turns of film show as faint rings.
        const double ring = 0.5 + 0.5 * std::sin(r * 3.0);
        return Lerp(Color{36, 36, 40, 1}, Color{60, 58, 62, 1}, ring * 0.6);
    }
};

// Each pixel is the mean of 4 x 4 samples. Edges are blended with the usual light dialog colour
// before the picture is reduced to opaque and transparent pixels, as GIF has no partial
// transparency.
constexpr Rgb kDialog{246, 245, 244};

struct Frame {
    std::vector<Rgb> rgb;
    std::vector<bool> opaque;
};

Frame DrawFrame(const Options& options, double turn) {
    const Reel reel;
    const int n = options.size;
    const double unit = Reel::kSide / n;
    constexpr int kSamples = 4;
    Frame frame{std::vector<Rgb>(static_cast<size_t>(n) * n), std::vector<bool>(static_cast<size_t>(n) * n)};
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            Color sum{0, 0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Color c = reel.At((x + (sx + 0.5) / kSamples) * unit, (y + (sy + 0.5) / kSamples) * unit, turn);
                    sum = {sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
                }
            const double coverage = sum.a / (kSamples * kSamples);
            const size_t i = static_cast<size_t>(y) * n + x;
            frame.opaque[i] = coverage >= 0.5;
            if (!frame.opaque[i])
                continue;
            auto channel = [&](double premultiplied, uint8_t dialog) {
                const double v = premultiplied / (kSamples * kSamples) + dialog * (1 - coverage);
                return static_cast<uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            };
            frame.rgb[i] = {channel(sum.r, kDialog.r), channel(sum.g, kDialog.g), channel(sum.b, kDialog.b)};
        }
    return frame;
}

// ---------------------------------------------------------------------------------------------
// One palette for all frames: index 0 is transparent, the other 255 are the most used colours
// (counted on 5 bits a channel); every pixel takes the nearest of them.

using Palette = std::array<Rgb, 256>;

Palette MakePalette(const std::vector<Frame>& frames) {
    std::map<Rgb, uint64_t> counts;
    for (const Frame& frame : frames)
        for (size_t i = 0; i < frame.rgb.size(); ++i)
            if (frame.opaque[i]) {
                const Rgb c = frame.rgb[i];
                ++counts[Rgb{static_cast<uint8_t>(c.r & 0xF8), static_cast<uint8_t>(c.g & 0xF8), static_cast<uint8_t>(c.b & 0xF8)}];
            }
    std::vector<std::pair<uint64_t, Rgb>> ranked;
    for (const auto& [color, count] : counts)
        ranked.push_back({count, color});
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    Palette palette{};
    palette[0] = kDialog;
    for (size_t i = 0; i < ranked.size() && i < 255; ++i) {
        const Rgb c = ranked[i].second;
        palette[i + 1] = {static_cast<uint8_t>(c.r | 4), static_cast<uint8_t>(c.g | 4), static_cast<uint8_t>(c.b | 4)};
    }
    return palette;
}

uint8_t Nearest(const Palette& palette, Rgb c) {
    int best = 1;
    int bestDistance = INT32_MAX;
    for (int i = 1; i < 256; ++i) {
        const int dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return static_cast<uint8_t>(best);
}

std::vector<uint8_t> Indices(const Frame& frame, const Palette& palette) {
    std::vector<uint8_t> indices(frame.rgb.size(), 0);
    std::map<Rgb, uint8_t> known;
    for (size_t i = 0; i < indices.size(); ++i)
        if (frame.opaque[i]) {
            auto [it, added] = known.try_emplace(frame.rgb[i], 0);
            if (added)
                it->second = Nearest(palette, frame.rgb[i]);
            indices[i] = it->second;
        }
    return indices;
}

// ---------------------------------------------------------------------------------------------
// The GIF writer: a GIF89a file with a global colour table of 256 entries, the NETSCAPE2.0
// extension that makes viewers loop, and full-size frames, each cleared before the next.

class GifWriter {
public:
    explicit GifWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Header(int width, int height, const Palette& palette) {
        Bytes("GIF89a");
        U16(width);                        // logical screen width
        U16(height);                       // logical screen height
        out_.push_back(0xF7);              // global table, 8-bit colour resolution, 256 entries
        out_.push_back(0);                 // background colour index
        out_.push_back(0);                 // no aspect ratio
        for (const Rgb& c : palette) {
            out_.push_back(c.r);
            out_.push_back(c.g);
            out_.push_back(c.b);
        }
        out_.push_back(0x21);              // application extension
        out_.push_back(0xFF);
        out_.push_back(11);
        Bytes("NETSCAPE2.0");
        out_.push_back(3);                 // sub-block: 1, then the loop count
        out_.push_back(1);
        U16(0);                            // 0 loops forever
        out_.push_back(0);
    }

    void Image(int width, int height, const std::vector<uint8_t>& indices, int delay) {
        out_.push_back(0x21);              // graphic control extension
        out_.push_back(0xF9);
        out_.push_back(4);
        out_.push_back((kRestoreBackground << 2) | 1);  // disposal, transparent index valid
        U16(delay);                        // hundredths of a second
        out_.push_back(0);                 // transparent index
        out_.push_back(0);
        out_.push_back(0x2C);              // image descriptor
        U16(0);                            // left
        U16(0);                            // top
        U16(width);
        U16(height);
        out_.push_back(0);                 // no local table, not interlaced
        out_.push_back(kMinCodeSize);
        Compress(indices);
    }

    void Trailer() { out_.push_back(0x3B); }

private:
    static constexpr int kRestoreBackground = 2;
    static constexpr int kMinCodeSize = 8;
    static constexpr int kClear = 1 << kMinCodeSize;
    static constexpr int kEnd = kClear + 1;
    static constexpr int kFirstFree = kClear + 2;
    static constexpr int kMaxCodes = 4096;

    void Bytes(const char* text) { out_.insert(out_.end(), text, text + std::strlen(text)); }
    void U16(int value) {
        out_.push_back(static_cast<uint8_t>(value & 0xFF));
        out_.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }

    // Codes go out least significant bit first, packed into sub-blocks of up to 255 bytes.
    void Put(int code) {
        bits_ |= static_cast<uint32_t>(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            Byte(static_cast<uint8_t>(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        // The reader adds a table entry one code later than the writer, so the width grows once
        // the code the writer is about to assign no longer fits.
        if (next_ >= (1 << width_) && width_ < 12)
            ++width_;
    }

    void Byte(uint8_t value) {
        block_[blockLength_++] = value;
        if (blockLength_ == 255)
            FlushBlock();
    }

    void FlushBlock() {
        if (blockLength_ == 0)
            return;
        out_.push_back(static_cast<uint8_t>(blockLength_));
        out_.insert(out_.end(), block_, block_ + blockLength_);
        blockLength_ = 0;
    }

    void ResetTable() {
        std::fill(table_.begin(), table_.end(), 0);
        next_ = kFirstFree;
        width_ = kMinCodeSize + 1;
    }

    // Variable-width LZW: the longest known string is extended by one index at a time; a table
    // about to run full is cleared and started again.
    void Compress(const std::vector<uint8_t>& indices) {
        table_.assign(static_cast<size_t>(kMaxCodes) * 256, 0);
        bits_ = 0;
        bitCount_ = 0;
        ResetTable();
        Put(kClear);
        int prefix = indices.empty() ? -1 : indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const uint8_t index = indices[i];
            uint16_t& entry = table_[static_cast<size_t>(prefix) * 256 + index];
            if (entry != 0) {
                prefix = entry;
                continue;
            }
            Put(prefix);
            if (next_ >= kMaxCodes - 1) {
                Put(kClear);
                ResetTable();
            } else {
                entry = static_cast<uint16_t>(next_++);
            }
            prefix = index;
        }
        if (prefix >= 0)
            Put(prefix);
        Put(kEnd);
        if (bitCount_ > 0)
            Byte(static_cast<uint8_t>(bits_ & 0xFF));
        FlushBlock();
        out_.push_back(0);                 // end of the image data
    }

    std::vector<uint8_t>& out_;
    std::vector<uint16_t> table_;          // code of (prefix code, index), 0 for none
    int next_ = kFirstFree;
    int width_ = kMinCodeSize + 1;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    uint8_t block_[255] = {};
    int blockLength_ = 0;
};

int Usage() {
    std::fprintf(stderr, "usage: makeanimation [-s SIZE] [-n FRAMES] [-d DELAY] FILE.gif\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "-s") == 0 && hasValue) {
            if (!tools::ParseNumber(argv[++i], 8, 1024, options.size))
                return Usage();
        } else if (std::strcmp(argv[i], "-n") == 0 && hasValue) {
            if (!tools::ParseNumber(argv[++i], 1, 240, options.frames))
                return Usage();
        } else if (std::strcmp(argv[i], "-d") == 0 && hasValue) {
            if (!tools::ParseNumber(argv[++i], 0, 65535, options.delay))
                return Usage();
        } else if (argv[i][0] != '-' && options.file.empty()) {
            options.file = argv[i];
        } else {
            return Usage();
        }
    }
    if (options.file.empty())
        return Usage();

    std::vector<Frame> frames;
    for (int f = 0; f < options.frames; ++f)
        frames.push_back(DrawFrame(options, static_cast<double>(f) / options.frames));
    const Palette palette = MakePalette(frames);

    std::vector<uint8_t> gif;
    GifWriter writer(gif);
    writer.Header(options.size, options.size, palette);
    for (const Frame& frame : frames)
        writer.Image(options.size, options.size, Indices(frame, palette), options.delay);
    writer.Trailer();

    FILE* file = std::fopen(options.file.c_str(), "wb");
    if (!file || std::fwrite(gif.data(), 1, gif.size(), file) != gif.size() || std::fclose(file) != 0) {
        std::perror(options.file.c_str());
        return 1;
    }
    return 0;
}
