// Times the image toolkit on a 12-megapixel photograph-like JPEG that it makes itself:
//   - decoding with CPixImage::LoadFile against a minimal loop straight on libjpeg that does the
//     same job (bottom-up blue-green-red rows, padded to 4 bytes) and nothing else;
//   - ScaleTo 1280 x 720, fast and smooth, and the fast scale written as a loop over
//     PixelColor / StoreColor;
//   - RotateByAngle(90).
// Every figure is the median wall-clock time of several runs after one warm-up run.
//
//   toolkit_bench --jpeg FILE [--runs N] [--recycle-memory] [--only decode-toolkit|decode-reference]
//                 [--keep-file]
//
// FILE is (re)written with the test picture unless --keep-file is given and it exists. --only
// runs one decoder `runs` times and nothing else, for profiling, e.g.
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='CPixImage::LoadFile*'
//       toolkit_bench --jpeg FILE --keep-file --only decode-toolkit --runs 1
// Every operation here gets a fresh pixel block, and on some virtual machines the first touch
// of fresh memory costs far more than the work done in it; the benchmark measures that cost
// first. --recycle-memory makes the C allocator keep freed blocks for reuse (no mmap, no trim),
// so the figures show the work itself.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <malloc.h>
#include <sys/mman.h>

#include "base/DibRows.h"
#include "image/PixImage.h"

namespace {

// The test picture, the JPEG quality it is stored at, and the size the scales make of it.
constexpr uint32_t kWidth = 4000, kHeight = 3000;
constexpr int kQuality = 90;
constexpr int32_t kScaledWidth = 1280, kScaledHeight = 720;

// --- The test picture ----------------------------------------------------------------------------

// Smooth random detail: random values on a grid `cell` pixels apart, interpolated bilinearly.
class ValueNoise {
public:
    ValueNoise(uint32_t width, uint32_t height, uint32_t cell, std::mt19937& random)
        : cell_(cell), columns_(width / cell + 2), values_(static_cast<size_t>(columns_) * (height / cell + 2)) {
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        for (float& v : values_)
            v = unit(random);
    }

    float At(uint32_t x, uint32_t y) const {
        uint32_t gx = x / cell_, gy = y / cell_;
        float fx = static_cast<float>(x % cell_) / static_cast<float>(cell_);
        float fy = static_cast<float>(y % cell_) / static_cast<float>(cell_);
        // Smoothstep weights avoid visible grid lines.
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        const float* row0 = &values_[static_cast<size_t>(gy) * columns_ + gx];
        const float* row1 = row0 + columns_;
        float top = row0[0] + (row0[1] - row0[0]) * fx;
        float bottom = row1[0] + (row1[1] - row1[0]) * fx;
        return top + (bottom - top) * fy;
    }

private:
    uint32_t cell_;
    uint32_t columns_;
    std::vector<float> values_;
};

uint8_t Clamp(float v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
}

// A landscape-like picture: a sky gradient, hills with shading, a few round objects with soft
// edges, textures at several scales and a little sensor noise. It compresses like a photograph
// (a few megabytes at quality 90), unlike flat colour or pure noise.
std::vector<uint8_t> MakePicture(uint32_t width, uint32_t height) {
    std::mt19937 random(2024);
    ValueNoise coarse(width, height, 400, random), medium(width, height, 90, random), fine(width, height, 17, random),
        grain(width, height, 4, random), hue(width, height, 700, random);
    struct Blob {
        float x, y, radius, r, g, b;
    };
    std::vector<Blob> blobs;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 14; ++i)
        blobs.push_back({unit(random) * width, unit(random) * height, 60 + unit(random) * 380, 40 + unit(random) * 200,
                         40 + unit(random) * 200, 40 + unit(random) * 200});
    std::normal_distribution<float> noise(0.0f, 3.0f);

    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        float v = static_cast<float>(y) / static_cast<float>(height);  // 0 at the top
        for (uint32_t x = 0; x < width; ++x) {
            float horizon = 0.45f + 0.08f * coarse.At(x, 0) + 0.03f * medium.At(x, 0);
            float r, g, b;
            if (v < horizon) {
                float t = v / horizon;
                r = 90 + 110 * t;
                g = 140 + 80 * t;
                b = 230 - 20 * t;
                float cloud = std::max(0.0f, coarse.At(x, y) + 0.5f * medium.At(x, y));
                r += 90 * cloud;
                g += 80 * cloud;
                b += 40 * cloud;
            } else {
                float shade = 0.6f + 0.4f * coarse.At(x, y) + 0.25f * medium.At(x, y);
                float tint = hue.At(x, y);
                r = (95 + 40 * tint) * shade;
                g = (120 - 20 * tint) * shade;
                b = (60 + 10 * tint) * shade;
                float texture = 28 * fine.At(x, y) + 14 * grain.At(x, y);
                r += texture;
                g += texture;
                b += 0.6f * texture;
            }
            for (const Blob& blob : blobs) {
                float dx = static_cast<float>(x) - blob.x, dy = static_cast<float>(y) - blob.y;
                float d2 = dx * dx + dy * dy;
                if (d2 > blob.radius * blob.radius)
                    continue;
                float d = std::sqrt(d2) / blob.radius;
                float edge = std::clamp((1.0f - d) * 12.0f, 0.0f, 1.0f);
                float light = 1.1f - 0.5f * d + 0.08f * fine.At(x, y);
                r += (blob.r * light - r) * edge;
                g += (blob.g * light - g) * edge;
                b += (blob.b * light - b) * edge;
            }
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = Clamp(r + noise(random));
            p[1] = Clamp(g + noise(random));
            p[2] = Clamp(b + noise(random));
        }
    }
    return rgb;
}

// Writes the picture as a baseline JPEG: quality 90, libjpeg's default 2x2 chroma subsampling
// (4:2:0). Returns the file size, 0 on failure.
long WriteJpeg(const std::string& path, const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// --- The reference decoder ---------------------------------------------------------------------

struct DecodedRows {
    std::unique_ptr<uint8_t[]> pixels;
    uint32_t width = 0, height = 0, stride = 0;
};

// The whole job of the toolkit's JPEG path for a colour file, with nothing around it: libjpeg
// straight from the file into blue-green-red rows padded to 4 bytes, the top picture row last.
bool ReferenceDecode(const char* path, DecodedRows& out) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    out.width = cinfo.output_width;
    out.height = cinfo.output_height;
    out.stride = static_cast<uint32_t>(dib::RowBytes(out.width, 24));
    out.pixels.reset(new uint8_t[static_cast<size_t>(out.stride) * out.height]);
    std::vector<JSAMPROW> rows(out.height);
    for (uint32_t i = 0; i < out.height; ++i)
        rows[i] = out.pixels.get() + static_cast<size_t>(out.height - 1 - i) * out.stride;
    while (cinfo.output_scanline < out.height)
        jpeg_read_scanlines(&cinfo, &rows[cinfo.output_scanline], out.height - cinfo.output_scanline);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return true;
}

// --- Timing ----------------------------------------------------------------------------------

struct Timing {
    double wall;  // milliseconds of wall-clock time
    double cpu;   // milliseconds of this process's processor time (user and system)
};

double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MedianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Medians of `runs` timings after one warm-up; `prepare` runs untimed before each.
Timing Median(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    prepare();
    work();
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        prepare();
        double cpuStart = CpuMilliseconds();
        auto start = std::chrono::steady_clock::now();
        work();
        auto end = std::chrono::steady_clock::now();
        cpu.push_back(CpuMilliseconds() - cpuStart);
        wall.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return {MedianOf(wall), MedianOf(cpu)};
}

// The fast scale as a plain loop over the per-pixel accessors, with the same hand-over of the
// result into the image as ScaleTo (which frees the old pixel block).
void ScaleByPixel(CPixImage& image, int32_t width, int32_t height) {
    float fx = static_cast<float>(image.Width()) / static_cast<float>(width);
    float fy = static_cast<float>(image.Height()) / static_cast<float>(height);
    CPixImage result;
    result.CopyInfoFrom(image);
    result.Allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), image.BitsPerPixel(), image.Type());
    for (int32_t y = 0; y < height; ++y) {
        auto sy = static_cast<int32_t>(static_cast<float>(y) * fy);
        for (int32_t x = 0; x < width; ++x)
            result.StoreColor(x, y, image.PixelColor(static_cast<int32_t>(static_cast<float>(x) * fx), sy));
    }
    image.TakeOver(result);
}

// What every in-place scale to 1280 x 720 costs besides the pixels: a new block, written once,
// handed over to the image, which frees its old 36 MB block.
void HandOverOnly(CPixImage& image, int32_t width, int32_t height) {
    CPixImage result;
    result.CopyInfoFrom(image);
    result.Allocate(static_cast<uint32_t>(width), static_cast<uint32_t>(height), image.BitsPerPixel(), image.Type());
    std::memset(result.PixelBits(), 0, result.Header().biSizeImage);
    image.TakeOver(result);
}

bool SameRows(const CPixImage& a, const CPixImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel())
        return false;
    size_t used = static_cast<size_t>(a.Width()) * 3;
    for (uint32_t y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), used) != 0)
            return false;
    return true;
}

// Milliseconds of processor time to write a block of fresh memory the size of the decoded picture
// for the first time, and a second time.
std::pair<double, double> FreshMemoryCost(size_t bytes) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return {0, 0};
    auto* volatile bytesOf = static_cast<uint8_t*>(block);
    double start = CpuMilliseconds();
    std::memset(bytesOf, 1, bytes);
    double first = CpuMilliseconds();
    std::memset(bytesOf, 2, bytes);
    double second = CpuMilliseconds();
    munmap(block, bytes);
    return {first - start, second - first};
}

// --- The run ---------------------------------------------------------------------------------

int Usage() {
    std::fprintf(stderr,
                 "usage: toolkit_bench --jpeg FILE [--runs N] [--recycle-memory] "
                 "[--only decode-toolkit|decode-reference] [--keep-file]\n");
    return 2;
}

struct Options {
    std::string path, only;
    int runs = 7;
    bool recycle = false;
    bool keepFile = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--jpeg" && i + 1 < argc)
            options.path = argv[++i];
        else if (arg == "--runs" && i + 1 < argc)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--only" && i + 1 < argc)
            options.only = argv[++i];
        else if (arg == "--recycle-memory")
            options.recycle = true;
        else if (arg == "--keep-file")
            options.keepFile = true;
        else
            return false;
    }
    return !options.path.empty();
}

// The test picture's file size; it is written unless it is to be kept and exists. 0 on failure.
long PreparePicture(const Options& options) {
    long bytes = 0;
    if (FILE* existing = options.keepFile ? std::fopen(options.path.c_str(), "rb") : nullptr) {
        std::fseek(existing, 0, SEEK_END);
        bytes = std::ftell(existing);
        std::fclose(existing);
    } else {
        std::vector<uint8_t> rgb = MakePicture(kWidth, kHeight);
        bytes = WriteJpeg(options.path, rgb, kWidth, kHeight);
    }
    return bytes;
}

void PrintSetting(const Options& options, long bytes) {
    std::printf("picture: %ux%u JPEG, 4:2:0, quality %d, %.2f MB (%s)\n", kWidth, kHeight, kQuality, bytes / 1e6,
                options.path.c_str());
    auto [firstTouch, secondTouch] = FreshMemoryCost(static_cast<size_t>(kWidth) * kHeight * 3);
    std::printf("writing a fresh 36 MB block: first time %.2f ms cpu, second time %.2f ms cpu\n", firstTouch,
                secondTouch);
    std::printf("allocator: %s\n", options.recycle ? "freed blocks kept for reuse (--recycle-memory)"
                                                   : "default (large blocks are fresh memory every time)");
}

// Profiling mode: one decoder, `runs` times, nothing else.
int Profile(const Options& options) {
    for (int i = 0; i < options.runs; ++i) {
        if (options.only == "decode-toolkit") {
            CPixImage image;
            if (!image.LoadFile(options.path.c_str(), Jpeg))
                return 1;
        } else if (options.only == "decode-reference") {
            DecodedRows rows;
            if (!ReferenceDecode(options.path.c_str(), rows))
                return 1;
        } else {
            return Usage();
        }
    }
    return 0;
}

struct Figures {
    Timing toolkitDecode, referenceDecode;
    bool samePixels = false;
    Timing fastScale, smoothScale, pixelLoop, handOver;
    bool sameScale = false;
    Timing rotate;
    std::string rotation;
};

bool SameAsReference(const DecodedRows& reference, const CPixImage& decoded) {
    bool same = reference.width == decoded.Width() && reference.height == decoded.Height();
    for (uint32_t y = 0; same && y < reference.height; ++y)
        same = std::memcmp(reference.pixels.get() + static_cast<size_t>(y) * reference.stride, decoded.Row(y),
                           static_cast<size_t>(reference.width) * 3) == 0;
    return same;
}

// (a) Decoding, by the toolkit and by the reference loop.
void TimeDecoding(const Options& options, const CPixImage& decoded, const DecodedRows& reference, Figures& figures) {
    figures.samePixels = SameAsReference(reference, decoded);
    auto nothing = [] {};
    figures.toolkitDecode = Median(options.runs, nothing, [&] {
        CPixImage image;
        image.LoadFile(options.path.c_str(), Jpeg);
    });
    figures.referenceDecode = Median(options.runs, nothing, [&] {
        DecodedRows rows;
        ReferenceDecode(options.path.c_str(), rows);
    });
}

// (b) Scaling in place, each run from a fresh copy of the decoded picture; (c) the same fast scale
// through PixelColor / StoreColor, and what the new block and its hand-over cost alone.
void TimeScaling(const Options& options, const CPixImage& decoded, Figures& figures) {
    const int runs = options.runs;
    CPixImage work;
    auto freshCopy = [&] { work.CopyFrom(decoded, true, false, false); };
    figures.fastScale = Median(3 * runs, freshCopy, [&] { work.ScaleTo(kScaledWidth, kScaledHeight, 1); });
    CPixImage fastResult(work, true, false, false);
    figures.smoothScale = Median(runs, freshCopy, [&] { work.ScaleTo(kScaledWidth, kScaledHeight, 0); });
    figures.pixelLoop = Median(runs, freshCopy, [&] { ScaleByPixel(work, kScaledWidth, kScaledHeight); });
    figures.sameScale = SameRows(fastResult, work);
    figures.handOver = Median(runs, freshCopy, [&] { HandOverOnly(work, kScaledWidth, kScaledHeight); });
}

// (d) Rotation by a quarter turn into a second image, so the source stays as it is.
void TimeRotation(const Options& options, CPixImage& decoded, Figures& figures) {
    CPixImage rotated;
    figures.rotate = Median(options.runs, [] {}, [&] { decoded.RotateByAngle(90.0f, &rotated); });
    figures.rotation = "RotateByAngle(90) " + std::to_string(decoded.Width()) + "x" +
                       std::to_string(decoded.Height()) + " -> " + std::to_string(rotated.Width()) + "x" +
                       std::to_string(rotated.Height());
}

// The ratio of two timings, wall clock and processor time, beside its goal; the results of the two
// must be the same pixels.
void PrintRatio(const char* what, Timing a, Timing b, int decimals, const char* goal, bool samePixels) {
    std::printf("%-46s %9.*f     (cpu %9.*f)     goal %s%s\n", what, decimals, a.wall / b.wall, decimals,
                a.cpu / b.cpu, goal, samePixels ? "" : "  PIXELS DIFFER");
}

void PrintFigures(int runs, const Figures& f) {
    auto line = [](const char* what, Timing t) {
        std::printf("%-46s %9.2f ms  (cpu %9.2f ms)\n", what, t.wall, t.cpu);
    };
    std::printf("median of %d runs (fast scale %d) after one warm-up; wall clock, process cpu time beside it\n", runs,
                3 * runs);
    line("decode, toolkit CPixImage::LoadFile", f.toolkitDecode);
    line("decode, libjpeg reference loop", f.referenceDecode);
    PrintRatio("  ratio toolkit / reference", f.toolkitDecode, f.referenceDecode, 3, "<= 1.10", f.samePixels);
    line("ScaleTo 1280x720 fast (nearest)", f.fastScale);
    line("ScaleTo 1280x720 smooth (area averaging)", f.smoothScale);
    line("fast scale as PixelColor/StoreColor loop", f.pixelLoop);
    PrintRatio("  ratio per-pixel loop / fast ScaleTo", f.pixelLoop, f.fastScale, 1, ">= 10", f.sameScale);
    line("  of which new block + hand-over (both)", f.handOver);
    // Differences of medians mean little when the hand-over is most of the fast scale.
    if (f.fastScale.wall > 2 * f.handOver.wall && f.fastScale.cpu > 2 * f.handOver.cpu)
        std::printf("%-46s %9.1f     (cpu %9.1f)\n", "  ratio of the pixel work alone",
                    (f.pixelLoop.wall - f.handOver.wall) / (f.fastScale.wall - f.handOver.wall),
                    (f.pixelLoop.cpu - f.handOver.cpu) / (f.fastScale.cpu - f.handOver.cpu));
    else
        std::printf("%-46s       n/a     (the hand-over is most of the fast scale)\n", "  ratio of the pixel work alone");
    line(f.rotation.c_str(), f.rotate);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    if (options.recycle) {
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    }
    const long bytes = PreparePicture(options);
    if (bytes <= 0) {
        std::fprintf(stderr, "cannot write %s\n", options.path.c_str());
        return 1;
    }
    PrintSetting(options, bytes);
    if (!options.only.empty())
        return Profile(options);

    CPixImage decoded;
    if (!decoded.LoadFile(options.path.c_str(), Jpeg) || decoded.BitsPerPixel() != 24) {
        std::fprintf(stderr, "toolkit cannot decode %s: %s\n", options.path.c_str(), decoded.LastError());
        return 1;
    }
    // The reference picture is held while the scales and the rotation are timed: with freed blocks
    // kept for reuse, where their new blocks come from depends on what is still held.
    DecodedRows reference;
    ReferenceDecode(options.path.c_str(), reference);
    Figures figures;
    TimeDecoding(options, decoded, reference, figures);
    TimeScaling(options, decoded, figures);
    TimeRotation(options, decoded, figures);
    PrintFigures(options.runs, figures);
    return figures.samePixels && figures.sameScale ? 0 : 1;
}
