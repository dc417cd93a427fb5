#include "support/AviTestFrames.h"

#include <cmath>
#include <cstdio>
#include <cstring>

std::vector<uint8_t> TestPicture::Format() const {
    std::vector<uint8_t> format(sizeof header + palette.size() * sizeof(RGBQUAD));
    std::memcpy(format.data(), &header, sizeof header);
    if (!palette.empty())
        std::memcpy(format.data() + sizeof header, palette.data(), palette.size() * sizeof(RGBQUAD));
    return format;
}

std::vector<uint8_t> TestPicture::BottomUpBgr() const {
    int width = header.biWidth;
    int height = header.biHeight;
    int bitCount = header.biBitCount;
    size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bits.data() + stride * y;
        for (int x = 0; x < width; ++x) {
            if (bitCount == 24) {
                out.insert(out.end(), row + 3 * x, row + 3 * x + 3);
                continue;
            }
            int index = 0;
            if (bitCount == 8)
                index = row[x];
            else if (bitCount == 4)
                index = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
            else
                index = (row[x / 8] >> (7 - x % 8)) & 1;
            const RGBQUAD& c = palette[static_cast<size_t>(index)];
            out.push_back(c.rgbBlue);
            out.push_back(c.rgbGreen);
            out.push_back(c.rgbRed);
        }
    }
    return out;
}

TestPicture MakeTestPicture(int width, int height, int bitCount, int frameIndex, bool gray) {
    TestPicture p;
    if (gray)
        bitCount = 8;
    size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    p.header.biSize = sizeof(BITMAPINFOHEADER);
    p.header.biWidth = width;
    p.header.biHeight = height;
    p.header.biPlanes = 1;
    p.header.biBitCount = static_cast<WORD>(bitCount);
    p.header.biCompression = BI_RGB;
    p.header.biSizeImage = static_cast<DWORD>(stride * height);
    if (bitCount <= 8) {
        int entries = 1 << bitCount;
        p.header.biClrUsed = static_cast<DWORD>(entries);
        for (int i = 0; i < entries; ++i) {
            if (gray) {
                auto v = static_cast<BYTE>(i);
                p.palette.push_back({v, v, v, 0});
            } else {
                // A palette that spreads over all three channels.
                p.palette.push_back({static_cast<BYTE>((i * 37) & 0xFF), static_cast<BYTE>((i * 91 + 40) & 0xFF),
                                     static_cast<BYTE>((255 - i * 3) & 0xFF), 0});
            }
        }
    }
    p.bits.assign(stride * height, 0);
    int square = width / 4 > 2 ? width / 4 : 2;
    int sx = (frameIndex * 3) % (width > square ? width - square : 1);
    int sy = (frameIndex * 2) % (height > square ? height - square : 1);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = p.bits.data() + stride * y;
        for (int x = 0; x < width; ++x) {
            bool inSquare = x >= sx && x < sx + square && y >= sy && y < sy + square;
            int b = (x * 255) / (width > 1 ? width - 1 : 1);
            int g = (y * 255) / (height > 1 ? height - 1 : 1);
            int r = ((x + y + frameIndex * 4) * 2) & 0xFF;
            if (inSquare)
                b = g = r = 240;
            if (bitCount == 24) {
                row[3 * x] = static_cast<uint8_t>(b);
                row[3 * x + 1] = static_cast<uint8_t>(g);
                row[3 * x + 2] = static_cast<uint8_t>(r);
                continue;
            }
            int levels = 1 << bitCount;
            int index = gray ? (b + g) / 2 : ((x / 2 + y / 3 + frameIndex) % levels);
            if (inSquare)
                index = levels - 1;
            if (bitCount == 8) {
                row[x] = static_cast<uint8_t>(index);
            } else if (bitCount == 4) {
                row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
            } else {
                row[x / 8] |= static_cast<uint8_t>((index & 1) << (7 - x % 8));
            }
        }
    }
    return p;
}

std::vector<uint8_t> MakeInfoBlock(const char* software, const char* copyright, const char* date) {
    std::vector<uint8_t> block(412, 0);
    auto field = [&](size_t at, const char* tag, const char* text) {
        std::memcpy(block.data() + at, tag, 4);
        block[at + 4] = 128;
        std::strncpy(reinterpret_cast<char*>(block.data() + at + 8), text, 127);
    };
    std::memcpy(block.data(), "INFO", 4);
    field(4, "ISFT", software);
    field(140, "ICOP", copyright);
    field(276, "ICRD", date);
    return block;
}

std::string WriteTestAvi(const std::string& path, const std::vector<TestPicture>& frames, const AviWriteSpec& desc) {
    if (frames.empty())
        return "no frames";
    std::string failure;
    auto check = [&failure](HRESULT hr, const char* step) {
        if (hr != AVIERR_OK && failure.empty()) {
            char text[96];
            std::snprintf(text, sizeof text, "%s failed: 0x%08X", step, static_cast<unsigned>(hr));
            failure = text;
        }
        return hr == AVIERR_OK;
    };
    const TestPicture& first = frames.front();
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr, compressed = nullptr, text = nullptr;
    if (!check(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), "AVIFileOpenA"))
        return failure;

    AVISTREAMINFOA videoInfo{};
    videoInfo.fccType = streamtypeVIDEO;
    videoInfo.dwScale = 1;
    videoInfo.dwRate = desc.rate;
    videoInfo.dwQuality = 10000;
    videoInfo.rcFrame = {0, 0, first.header.biWidth, first.header.biHeight};
    if (check(AVIFileCreateStreamA(file, &video, &videoInfo), "AVIFileCreateStreamA")) {
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = desc.fccHandler;
        options.dwQuality = desc.quality;
        options.dwKeyFrameEvery = desc.keyFrameEvery;
        if (desc.keyFrameEvery > 0)
            options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
        if (check(AVIMakeCompressedStream(&compressed, video, &options, nullptr), "AVIMakeCompressedStream")) {
            std::vector<uint8_t> format = first.Format();
            check(AVIStreamSetFormat(compressed, 0, format.data(), static_cast<LONG>(format.size())),
                  "AVIStreamSetFormat");
        }
    }
    if (desc.names && failure.empty()) {
        AVISTREAMINFOA textInfo{};
        textInfo.fccType = streamtypeTEXT;
        textInfo.fccHandler = mmioFOURCC('D', 'R', 'A', 'W');
        textInfo.dwScale = 1;
        textInfo.dwRate = 60;
        textInfo.rcFrame = {0, first.header.biHeight, first.header.biWidth, first.header.biHeight + 12};
        if (check(AVIFileCreateStreamA(file, &text, &textInfo), "text stream")) {
            DWORD textFormat = 4;
            check(AVIStreamSetFormat(text, 0, &textFormat, 4), "text format");
        }
    }
    for (size_t n = 0; n < frames.size() && failure.empty(); ++n) {
        const TestPicture& p = frames[n];
        check(AVIStreamWrite(compressed, static_cast<LONG>(n), 1, p.bits.data(), static_cast<LONG>(p.bits.size()),
                             desc.writeFlags, nullptr, nullptr),
              "AVIStreamWrite");
        if (text && failure.empty()) {
            char name[32];
            std::snprintf(name, sizeof name, "IMG_%04zu.JPG", n);
            check(AVIStreamWrite(text, static_cast<LONG>(n * 60 / desc.rate), 1, name,
                                 static_cast<LONG>(std::strlen(name) + 1), AVIIF_KEYFRAME, nullptr, nullptr),
                  "text write");
        }
    }
    if (desc.info && failure.empty()) {
        std::vector<uint8_t> block = MakeInfoBlock("Pixreel test", "Copyright \xA9 2026 Tester", "2026-12-07");
        check(AVIFileWriteData(file, mmioFOURCC('L', 'I', 'S', 'T'), block.data(), 412), "AVIFileWriteData");
    }
    if (video)
        AVIStreamRelease(video);
    if (compressed)
        AVIStreamRelease(compressed);
    if (text)
        AVIStreamRelease(text);
    AVIFileRelease(file);
    check(AVIFileLastCloseResult(), "closing");
    return failure;
}
