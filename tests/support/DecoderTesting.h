#pragma once
// Helpers for the decoder tests: building little-endian files byte by byte, decoding bytes from
// memory, writing test pictures, and reading back the pixels ImageMagick sees in a file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "image/ImageStream.h"
#include "image/PixImage.h"
#include "support/TempDir.h"

/// A file under construction; each call appends one little-endian field.
class Bytes {
public:
    Bytes& u8(unsigned value) {
        data_.push_back(static_cast<char>(value & 0xFF));
        return *this;
    }
    Bytes& u16(unsigned value) { return u8(value).u8(value >> 8); }
    Bytes& u32(uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }
    Bytes& text(const std::string& value) {
        data_ += value;
        return *this;
    }
    Bytes& fill(size_t count, unsigned value) {
        data_.append(count, static_cast<char>(value & 0xFF));
        return *this;
    }
    size_t size() const { return data_.size(); }
    const std::string& str() const { return data_; }
    operator const std::string&() const { return data_; }

private:
    std::string data_;
};

/// With PIXREEL_WRITE_CORPUS naming a folder, every byte array a decoder test decodes is saved
/// there (in <folder>/<format>/) as a seed for the fuzz targets.
inline void SaveFuzzSeed(const std::string& bytes, uint32_t type) {
    static const char* const kFolders[] = {"bmp", "gif", "jpeg", "png", "ico", "tiff", "tga", "pcx"};
    const char* root = std::getenv("PIXREEL_WRITE_CORPUS");
    if (!root || !*root || type >= std::size(kFolders))
        return;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a names the file after its content
    for (char c : bytes)
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    std::filesystem::path folder = std::filesystem::path(root) / kFolders[type];
    std::filesystem::create_directories(folder);
    char name[32];
    std::snprintf(name, sizeof name, "t%016llx", static_cast<unsigned long long>(hash));
    WriteFileBytes((folder / name).string(), bytes);
}

/// A palette entry from red, green and blue (reserved byte 0).
inline RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}

/// Same red, green and blue; the reserved byte is not compared.
inline bool Same(RGBQUAD a, RGBQUAD b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

/// Decodes bytes held in memory through the dispatch, as a file of that type would be.
inline bool DecodeBytes(CPixImage& image, const std::string& bytes, uint32_t type) {
    SaveFuzzSeed(bytes, type);
    ImageMemoryStream stream(bytes.data(), bytes.size());
    return image.DecodeStream(stream, type);
}

/// ImageMagick's own convert; /usr/local/bin/convert may be a stand-in that is not ImageMagick.
inline const char* kConvert = "/usr/bin/convert";

inline bool HaveConvert() {
    return ::access(kConvert, X_OK) == 0;
}

/// Runs convert with the given arguments (shell words); true when it exits with 0.
inline bool RunConvert(const std::string& arguments) {
    std::string command = std::string(kConvert) + " " + arguments + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

/// The pixels ImageMagick reads from a file (a "[n]" suffix picks a frame), 8 bits per channel
/// in the order of `map` ("rgb" or "rgba"), top row first. `options` go between the file and the
/// output. Empty when convert fails.
inline std::string MagickPixels(const TempDir& dir, const std::string& file, const std::string& map,
                                const std::string& options = "") {
    std::string out = dir.file("magick.raw");
    if (!RunConvert("'" + file + "' " + options + " -depth 8 " + map + ":'" + out + "'"))
        return {};
    return ReadFileBytes(out);
}

/// Our pixels in the same layout: red, green, blue (and alpha, 255 without an alpha plane).
inline std::string OurPixels(const CPixImage& image, bool withAlpha) {
    std::string pixels;
    for (int64_t y = static_cast<int64_t>(image.Height()) - 1; y >= 0; --y) {
        for (uint32_t x = 0; x < image.Width(); ++x) {
            RGBQUAD c = image.PixelColor(x, y);
            pixels += static_cast<char>(c.rgbRed);
            pixels += static_cast<char>(c.rgbGreen);
            pixels += static_cast<char>(c.rgbBlue);
            if (withAlpha)
                pixels += static_cast<char>(image.HasAlpha() ? image.AlphaValue(x, y) : 255);
        }
    }
    return pixels;
}

/// Compares two pixel dumps and names the first pixel that differs. `keepBits` compares only the
/// top bits of each channel, for formats whose channels hold fewer than 8 bits.
inline ::testing::AssertionResult SamePixels(const std::string& ours, const std::string& theirs, uint32_t width,
                                             int channels, int keepBits = 8) {
    if (ours.size() != theirs.size())
        return ::testing::AssertionFailure() << "sizes differ: " << ours.size() << " vs " << theirs.size();
    const auto mask = static_cast<uint8_t>(0xFF << (8 - keepBits));
    for (size_t i = 0; i < ours.size(); ++i) {
        auto a = static_cast<uint8_t>(ours[i]);
        auto b = static_cast<uint8_t>(theirs[i]);
        if ((a & mask) != (b & mask)) {
            size_t pixel = i / static_cast<size_t>(channels);
            return ::testing::AssertionFailure() << "pixel (" << pixel % width << ", " << pixel / width
                                                 << ") channel " << i % static_cast<size_t>(channels) << ": " << int(a)
                                                 << " vs " << int(b);
        }
    }
    return ::testing::AssertionSuccess();
}

/// A colourful deterministic picture, red, green, blue per pixel, top row first.
inline std::string TestPattern(uint32_t width, uint32_t height, uint32_t seed = 1) {
    std::string rgb;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            rgb += static_cast<char>((x * 255 / (width > 1 ? width - 1 : 1) + seed * 40) & 0xFF);
            rgb += static_cast<char>((y * 255 / (height > 1 ? height - 1 : 1) + seed * 70) & 0xFF);
            rgb += static_cast<char>(((x * 7 + y * 13) * 5 * seed) & 0xFF);
        }
    }
    return rgb;
}

/// Writes a binary PPM of the picture, a form every image tool reads.
inline void WritePpm(const std::string& path, uint32_t width, uint32_t height, const std::string& rgb) {
    WriteFileBytes(path, "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + rgb);
}
