#pragma once
// Test pictures as packed DIBs and a small driver that writes them into an AVI file through the
// AVI file services, the way the program's writer calls them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/AviFile.h"

struct TestPicture {
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> palette;
    std::vector<uint8_t> bits;  // bottom-up rows padded to 4 bytes

    /// The header followed by the palette, as AVIStreamSetFormat takes it.
    std::vector<uint8_t> Format() const;
    /// The picture as packed B, G, R triples, bottom row first: what a reader decodes.
    std::vector<uint8_t> BottomUpBgr() const;
};

/// A picture of smooth gradients with a bright square that moves with frameIndex, so that lossy
/// coders keep it well and frames differ. bitCount 1, 4, 8 or 24; gray gives an 8-bit
/// picture with a gray ramp palette (as decoded grayscale JPEGs are).
TestPicture MakeTestPicture(int width, int height, int bitCount, int frameIndex, bool gray = false);

struct AviWriteSpec {
    DWORD fccHandler = comptypeDIB;
    DWORD quality = 7500;
    DWORD keyFrameEvery = 0;   // with AVICOMPRESSF_KEYFRAMES when above 0
    DWORD rate = 5;
    DWORD writeFlags = AVIIF_KEYFRAME;
    bool names = false;        // a 'txts' stream with "IMG_<n>.JPG" at n * 60 / rate
    bool info = false;         // the 412-byte INFO block
};

/// Writes every picture as one frame; "" on success, else what failed with its AVIERR code.
std::string WriteTestAvi(const std::string& path, const std::vector<TestPicture>& frames, const AviWriteSpec& desc);

/// The 412-byte INFO block: software, copyright and date texts of 128 bytes each.
std::vector<uint8_t> MakeInfoBlock(const char* software, const char* copyright, const char* date);
