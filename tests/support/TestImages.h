#pragma once
// Image files made by the tests themselves: JPEGs through libjpeg and BMPs byte by byte.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TestRgb {
    uint8_t r, g, b;
};

/// Colour of pixel (x, y), y = 0 being the top row as a viewer sees it.
using PixelFunction = std::function<TestRgb(uint32_t x, uint32_t y)>;

/// A uniform colour.
PixelFunction SolidColor(TestRgb color);
/// A smooth pattern that differs for every seed (photos-like content for tests).
PixelFunction Pattern(uint32_t seed);

/// Writes a baseline JPEG (colour, or gray from the green channel when `gray` is set).
void WriteJpeg(const std::string& path, uint32_t width, uint32_t height, const PixelFunction& pixel,
               int quality = 90, bool gray = false);
/// Writes an uncompressed 24-bit BMP.
void WriteBmp24(const std::string& path, uint32_t width, uint32_t height, const PixelFunction& pixel);
/// Writes an uncompressed 8-bit BMP with the palette (at most 256 colours); `index` picks each
/// pixel's palette entry, y = 0 being the top row.
void WriteBmp8(const std::string& path, uint32_t width, uint32_t height, const std::vector<TestRgb>& palette,
               const std::function<uint8_t(uint32_t x, uint32_t y)>& index);
