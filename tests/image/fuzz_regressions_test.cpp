#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>

#include "image/ImageStream.h"
#include "image/PixImage.h"
#include "support/ImageTestFiles.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFuzzDir = fs::path(PIXREEL_SOURCE_DIR) / "tests" / "fuzz";

struct Folder {
    const char* name;
    ImageType type;
};
constexpr Folder kFolders[] = {{"bmp", Bmp}, {"gif", Gif}, {"jpeg", Jpeg}, {"png", Png},
                               {"ico", Ico}, {"tiff", Tiff}, {"tga", Tga}, {"pcx", Pcx}};

std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return files;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Decodes the file from memory and from disk, first and second frame, and checks that every
// outcome is a whole picture or a failure with its reason (the GIF and ICO decoders may fail
// without a text).
void ExpectCleanDecode(const fs::path& path, ImageType type) {
    SCOPED_TRACE(path.string());
    const std::string bytes = ReadFileBytes(path.string());
    for (int32_t frame : {0, 1}) {
        CPixImage fromMemory(type);
        fromMemory.Info().frame = frame;
        ImageMemoryStream stream(bytes.data(), bytes.size());
        const bool memoryOk = fromMemory.DecodeStream(stream, type);

        CPixImage fromFile(type);
        fromFile.Info().frame = frame;
        const bool fileOk = fromFile.LoadFile(path.string().c_str(), type);
        EXPECT_EQ(memoryOk, fileOk);

        for (const CPixImage* image : {&fromMemory, &fromFile}) {
            const bool ok = image == &fromMemory ? memoryOk : fileOk;
            if (ok) {
                EXPECT_TRUE(image->IsValid());
                EXPECT_GT(image->Width(), 0u);
                EXPECT_GT(image->Height(), 0u);
            } else {
                EXPECT_FALSE(image->IsValid());
                if (type != Gif && type != Ico) {
                    EXPECT_NE(image->LastError()[0], '\0');
                }
            }
        }
    }
}

void WriteSeed(const std::string& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(kFuzzDir / "corpus" / folder);
    std::ofstream out(kFuzzDir / "corpus" / folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Ramp(size_t count, unsigned step) {
    std::vector<uint8_t> samples(count);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<uint8_t>(i * step);
    return samples;
}

}  // namespace

// Every input that once made a decoder misbehave must now give a clean result.
TEST(FuzzRegressions, EveryKeptInputDecodesCleanly) {
    size_t count = 0;
    for (const Folder& folder : kFolders) {
        for (const fs::path& path : FilesUnder(kFuzzDir / "regressions" / folder.name)) {
            ExpectCleanDecode(path, folder.type);
            ++count;
        }
    }
    EXPECT_GT(count, 0u) << "no kept inputs found under " << (kFuzzDir / "regressions");
    RecordProperty("files", static_cast<int>(count));
}

// The JPEG, PNG and TIFF seeds written below are small valid pictures: each must decode. (The
// other formats' seeds may include damaged files on purpose.)
TEST(FuzzRegressions, SeedCorpusDecodes) {
    for (const Folder& folder : {Folder{"jpeg", Jpeg}, Folder{"png", Png}, Folder{"tiff", Tiff}}) {
        const std::vector<fs::path> files = FilesUnder(kFuzzDir / "corpus" / folder.name);
        EXPECT_GE(files.size(), 3u) << folder.name;
        for (const fs::path& path : files) {
            SCOPED_TRACE(path.string());
            CPixImage image(folder.type);
            EXPECT_TRUE(image.LoadFile(path.string().c_str(), folder.type)) << image.LastError();
        }
    }
}

// Writes the JPEG, PNG and TIFF seeds of the fuzz corpus into the source tree. Run it by hand
// when the seeds should change:
//   image_fuzz_regressions_test --gtest_also_run_disabled_tests --gtest_filter='*WriteSeeds'
TEST(FuzzRegressions, DISABLED_WriteSeeds) {
    JpegOptions baseline;
    WriteSeed("jpeg", "colour420.jpg", EncodeJpeg(16, 16, 3, Ramp(16 * 16 * 3, 7), baseline));
    JpegOptions full;
    full.hSampling = full.vSampling = 1;
    full.densityUnit = 2;
    full.xDensity = full.yDensity = 28;
    WriteSeed("jpeg", "colour444.jpg", EncodeJpeg(9, 7, 3, Ramp(9 * 7 * 3, 5), full));
    WriteSeed("jpeg", "gray.jpg", EncodeJpeg(8, 8, 1, Ramp(64, 4)));
    JpegOptions progressive;
    progressive.progressive = true;
    WriteSeed("jpeg", "progressive.jpg", EncodeJpeg(24, 16, 3, Ramp(24 * 16 * 3, 3), progressive));
    WriteSeed("jpeg", "cmyk.jpg", EncodeJpeg(8, 8, 4, Ramp(8 * 8 * 4, 9)));

    auto rows = [](uint32_t height, size_t bytes, unsigned step) {
        std::vector<std::vector<uint8_t>> r;
        for (uint32_t y = 0; y < height; ++y) {
            std::vector<uint8_t> row = Ramp(bytes, step);
            for (auto& b : row)
                b = static_cast<uint8_t>(b + y * 17);
            r.push_back(row);
        }
        return r;
    };
    PngSpec rgb{.width = 6, .height = 4, .bitDepth = 8, .colorType = 2, .rows = rows(4, 18, 11)};
    WriteSeed("png", "rgb.png", EncodePng(rgb));
    PngSpec rgba{.width = 9, .height = 9, .bitDepth = 8, .colorType = 6, .interlaced = true, .rows = rows(9, 36, 13)};
    WriteSeed("png", "rgba-interlaced.png", EncodePng(rgba));
    PngSpec palette{.width = 5, .height = 3, .bitDepth = 4, .colorType = 3, .rows = rows(3, 3, 0x21)};
    palette.palette = Ramp(3 * 16, 16);
    palette.transparency = {0, 100};
    palette.background = std::vector<uint16_t>{2};
    WriteSeed("png", "palette-trns.png", EncodePng(palette));
    PngSpec gray2{.width = 7, .height = 5, .bitDepth = 2, .colorType = 0, .interlaced = true, .rows = rows(5, 2, 0x1B)};
    WriteSeed("png", "gray2-interlaced.png", EncodePng(gray2));
    PngSpec grayAlpha16{.width = 3, .height = 3, .bitDepth = 16, .colorType = 4, .rows = rows(3, 12, 29)};
    WriteSeed("png", "grayalpha16.png", EncodePng(grayAlpha16));
    PngSpec grayAlpha{.width = 4, .height = 2, .bitDepth = 8, .colorType = 4, .rows = rows(2, 8, 31)};
    grayAlpha.background = std::vector<uint16_t>{50};
    WriteSeed("png", "grayalpha-bkgd.png", EncodePng(grayAlpha));

    TiffPage gray;
    gray.width = 6;
    gray.height = 5;
    gray.rowsPerStrip = 2;
    gray.orientation = 6;
    gray.data = Ramp(30, 9);
    TiffPage rgbPage;
    rgbPage.width = 5;
    rgbPage.height = 4;
    rgbPage.samples = 3;
    rgbPage.photometric = PHOTOMETRIC_RGB;
    rgbPage.compression = COMPRESSION_LZW;
    rgbPage.data = Ramp(60, 13);
    WriteSeed("tiff", "two-pages.tif", EncodeTiff({gray, rgbPage}));
    TiffPage map;
    map.width = 4;
    map.height = 2;
    map.photometric = PHOTOMETRIC_PALETTE;
    map.compression = COMPRESSION_PACKBITS;
    map.data = {0, 1, 2, 3, 3, 2, 1, 0};
    map.red = map.green = map.blue = std::vector<uint16_t>(256, 0);
    map.red[1] = 65535;
    map.green[2] = 40000;
    map.blue[3] = 1000;
    WriteSeed("tiff", "palette16.tif", EncodeTiff({map}));
    TiffPage bilevel;
    bilevel.width = 10;
    bilevel.height = 2;
    bilevel.bits = 1;
    bilevel.photometric = PHOTOMETRIC_MINISWHITE;
    bilevel.data = {0xA5, 0x40, 0x5A, 0x80};
    WriteSeed("tiff", "bilevel-white.tif", EncodeTiff({bilevel}));
    TiffPage tiled;
    tiled.width = 20;
    tiled.height = 17;
    tiled.tileSize = 16;
    tiled.samples = 2;
    tiled.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    tiled.data = Ramp(20 * 17 * 2, 3);
    WriteSeed("tiff", "tiled-alpha.tif", EncodeTiff({tiled}));
    TiffPage deep;
    deep.width = 3;
    deep.height = 2;
    deep.bits = 16;
    deep.samples = 2;
    deep.extraSamples = {EXTRASAMPLE_ASSOCALPHA};
    deep.data = Ramp(24, 37);
    WriteSeed("tiff", "gray16-alpha.tif", EncodeTiff({deep}));
}
