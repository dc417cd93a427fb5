// The compressor registry: what it lists against what this machine's FFmpeg offers, the
// questions the Select Codec dialog asks, and real files written through every compressor and
// decoded again by ffmpeg.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "platform/Codecs.h"
#include "platform/VideoCompressor.h"
#include "platform/Profile.h"
#include "support/AviTestFrames.h"
#include "support/Ffprobe.h"
#include "support/TempDir.h"

namespace {

std::string CodeText(DWORD fcc) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += static_cast<char>((fcc >> (8 * i)) & 0xFF);
    return text;
}

DWORD Code(const char* text) { return mmioFOURCC(text[0], text[1], text[2], text[3]); }

// Every compressor the registry lists, in enumeration order.
std::vector<ICINFO> Listed() {
    std::vector<ICINFO> list;
    ICINFO info;
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i)
        list.push_back(info);
    return list;
}

std::string Description(const ICINFO& info) {
    char text[256];
    ICTextFromWide(info.szDescription, 128, text, sizeof text);
    return text;
}

// What each compressor is expected to write, as ffprobe names it, and how exact it is.
struct Expectation {
    const char* ffprobeName;
    const char* tag;      // biCompression of the stream format, as ffprobe shows it
    const char* encoder;  // the FFmpeg encoder it rests on; null for our own
    bool lossless;
    double minPsnr;       // for lossy ones, on the test pictures at the default quality
};

const std::map<std::string, Expectation> kExpected = {
    {"MJPG", {"mjpeg", "MJPG", nullptr, false, 32}},
    {"MRLE", {"msrle", "[1][0][0][0]", nullptr, true, 0}},
    {"H264", {"h264", "H264", "libx264", false, 30}},
    {"FMP4", {"mpeg4", "FMP4", "mpeg4", false, 30}},
    {"FFV1", {"ffv1", "FFV1", "ffv1", true, 0}},
    {"HFYU", {"huffyuv", "HFYU", "huffyuv", true, 0}},
    {"MPNG", {"png", "MPNG", "png", true, 0}},
    {"ULRG", {"utvideo", "ULRG", "utvideo", true, 0}},
    {"CVID", {"cinepak", "cvid", "cinepak", false, 20}},
    {"MSVC", {"msvideo1", "MSVC", "msvideo1", false, 24}},
};

std::vector<TestPicture> Frames(int count, int width, int height, int bitCount, bool gray = false) {
    std::vector<TestPicture> frames;
    for (int n = 0; n < count; ++n)
        frames.push_back(MakeTestPicture(width, height, bitCount, n, gray));
    return frames;
}

}  // namespace

class CodecsTest : public ::testing::Test {
protected:
    void SetUp() override {
        PIXREEL_REQUIRE_TOOLS(HaveProgram("ffprobe") && HaveProgram("ffmpeg"), "ffprobe/ffmpeg not installed");
    }
    TempDir dir;
};

TEST_F(CodecsTest, RegistryListsWhatThisMachineOffers) {
    std::string encoders = RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null");
    ASSERT_FALSE(encoders.empty());
    auto ffmpegHas = [&](const std::string& name) {
        return encoders.find(" " + name + " ") != std::string::npos;
    };
    std::vector<ICINFO> listed = Listed();
    std::set<std::string> codes;
    for (const ICINFO& info : listed) {
        std::string code = CodeText(info.fccHandler);
        SCOPED_TRACE(code);
        EXPECT_TRUE(codes.insert(code).second) << "listed twice";
        EXPECT_EQ(info.dwSize, sizeof(ICINFO));
        EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
        EXPECT_FALSE(Description(info).empty());
        ASSERT_TRUE(kExpected.count(code)) << "no expectation for " << code;
        // Looking the same compressor up by its code gives the same record.
        ICINFO byCode;
        ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, info.fccHandler, &byCode));
        EXPECT_EQ(std::memcmp(&byCode, &info, sizeof info), 0);
    }
    for (const auto& [code, expected] : kExpected) {
        bool present = expected.encoder == nullptr || ffmpegHas(expected.encoder);
        EXPECT_EQ(codes.count(code) == 1, present) << code;
    }
    ICINFO info;
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, static_cast<DWORD>(listed.size()), &info));
    EXPECT_FALSE(ICInfo(Code("auds"), 0, &info));
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, Code("NONE"), ICMODE_QUERY), nullptr);
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, Code("MJPG"), ICMODE_DECOMPRESS), nullptr);
}

TEST_F(CodecsTest, AnswersTheSelectCodecQuestions) {
    TestPicture color = MakeTestPicture(48, 32, 24, 0);
    TestPicture paletted = MakeTestPicture(48, 32, 8, 0);
    TestPicture gray = MakeTestPicture(48, 32, 8, 0, true);
    TestPicture mono = MakeTestPicture(48, 32, 1, 0);
    for (const ICINFO& listed : Listed()) {
        std::string code = CodeText(listed.fccHandler);
        SCOPED_TRACE(code);
        HIC hic = ICOpen(listed.fccType, listed.fccHandler, ICMODE_QUERY);
        ASSERT_NE(hic, nullptr);
        ICINFO info;
        EXPECT_EQ(ICGetInfo(hic, &info, sizeof info), static_cast<LRESULT>(sizeof info));
        EXPECT_EQ(info.fccHandler, listed.fccHandler);

        // Paletted input of any depth is taken by every compressor; 24 bits by all but RLE8.
        EXPECT_EQ(ICCompressQuery(hic, &paletted.header, nullptr), ICERR_OK);
        EXPECT_EQ(ICCompressQuery(hic, &gray.header, nullptr), ICERR_OK);
        EXPECT_EQ(ICCompressQuery(hic, &mono.header, nullptr), ICERR_OK);
        EXPECT_EQ(ICCompressQuery(hic, &color.header, nullptr), code == "MRLE" ? ICERR_BADFORMAT : ICERR_OK);
        BITMAPINFOHEADER bad = color.header;
        bad.biBitCount = 16;
        EXPECT_EQ(ICCompressQuery(hic, &bad, nullptr), ICERR_BADFORMAT);
        bad = color.header;
        bad.biCompression = Code("MJPG");
        EXPECT_EQ(ICCompressQuery(hic, &bad, nullptr), ICERR_BADFORMAT);
        bad = color.header;
        bad.biWidth = 0;
        EXPECT_EQ(ICCompressQuery(hic, &bad, nullptr), ICERR_BADFORMAT);
        bad.biWidth = 100000;
        EXPECT_EQ(ICCompressQuery(hic, &bad, nullptr), ICERR_BADFORMAT);
        EXPECT_EQ(ICCompressQuery(hic, nullptr, nullptr), ICERR_BADPARAM);

        // The output format names the compressor and keeps the size. The input is passed as
        // Windows callers do, the palette right after the header.
        std::vector<uint8_t> input = paletted.Format();
        LRESULT formatBytes = ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, reinterpret_cast<DWORD_PTR>(input.data()), 0);
        ASSERT_GE(formatBytes, static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)));
        std::vector<uint8_t> format(static_cast<size_t>(formatBytes));
        ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, reinterpret_cast<DWORD_PTR>(input.data()),
                      reinterpret_cast<DWORD_PTR>(format.data()));
        BITMAPINFOHEADER out;
        std::memcpy(&out, format.data(), sizeof out);
        EXPECT_EQ(out.biWidth, 48);
        EXPECT_EQ(out.biHeight, 32);
        EXPECT_EQ(ICCompressQuery(hic, &paletted.header, &out), ICERR_OK);

        // Defaults: a quality exactly when the quality flag is set; a key-frame rate for
        // compressors with delta frames.
        DWORD quality = ICGetDefaultQuality(hic);
        if (info.dwFlags & VIDCF_QUALITY) {
            EXPECT_GT(quality, 0u);
            EXPECT_LE(quality, 10000u);
        } else {
            EXPECT_EQ(quality, 0u);
        }
        DWORD keyRate = ICGetDefaultKeyFrameRate(hic);
        EXPECT_EQ(keyRate > 0, (info.dwFlags & VIDCF_TEMPORAL) != 0);
        bool configurable = code == "MJPG" || code == "H264" || code == "FMP4" || code == "FFV1" ||
                            code == "HFYU" || code == "MPNG";
        EXPECT_EQ(ICQueryConfigure(hic) == ICERR_OK, configurable);
        EXPECT_EQ(ICSendMessage(hic, ICM_ABOUT, static_cast<DWORD_PTR>(-1), ICMF_ABOUT_QUERY), ICERR_UNSUPPORTED);
        EXPECT_EQ(ICClose(hic), ICERR_OK);
    }
}

TEST_F(CodecsTest, EveryCompressorWritesFramesFfmpegDecodes) {
    // 48 x 32 suits every compressor's size rules; 24-bit colour and 8-bit gray (the decoded
    // form of grayscale JPEGs) are the program's usual inputs.
    const int width = 48, height = 32, count = 6;
    for (const ICINFO& listed : Listed()) {
        std::string code = CodeText(listed.fccHandler);
        const Expectation& expected = kExpected.at(code);
        for (int bits : {24, 8}) {
            if (bits == 24 && code == "MRLE")
                continue;
            SCOPED_TRACE(code + " " + std::to_string(bits) + "-bit");
            std::vector<TestPicture> frames = Frames(count, width, height, bits, bits == 8);
            std::string path = dir.file(code + std::to_string(bits) + ".avi");
            AviWriteSpec desc;
            desc.fccHandler = listed.fccHandler;
            desc.quality = ICQUALITY_DEFAULT;
            desc.rate = 10;
            HIC hic = ICOpen(ICTYPE_VIDEO, listed.fccHandler, ICMODE_QUERY);
            if (listed.dwFlags & VIDCF_QUALITY)
                desc.quality = ICGetDefaultQuality(hic);
            ICClose(hic);
            ASSERT_EQ(WriteTestAvi(path, frames, desc), "");

            ProbeResult probe = ProbeFile(path, true);
            ASSERT_TRUE(probe.ok) << probe.raw;
            ASSERT_EQ(probe.streams.size(), 1u);
            const ProbeStream& v = probe.streams[0];
            EXPECT_EQ(v.codecName, expected.ffprobeName);
            EXPECT_EQ(v.codecTag, expected.tag);
            // The stream header names the compressor that was chosen.
            std::string bytes = ReadFileBytes(path);
            size_t strh = bytes.find("strh");
            ASSERT_NE(strh, std::string::npos);
            EXPECT_EQ(bytes.substr(strh + 12, 4), code);
            EXPECT_EQ(v.width, width);
            EXPECT_EQ(v.height, height);
            EXPECT_EQ(v.rFrameRate, "10/1");
            EXPECT_EQ(v.nbFrames, count);
            EXPECT_EQ(v.nbReadFrames, count);
            EXPECT_NEAR(v.duration, 0.6, 1e-6);

            std::vector<std::vector<uint8_t>> decoded = DecodeFrames(path, width, height, RowOrder::BottomUpBgr);
            ASSERT_EQ(decoded.size(), static_cast<size_t>(count));
            for (int n = 0; n < count; ++n) {
                std::vector<uint8_t> want = frames[n].BottomUpBgr();
                double psnr = Psnr(decoded[n], want);
                if (expected.lossless)
                    EXPECT_EQ(decoded[n], want) << "frame " << n;
                else
                    EXPECT_GE(psnr, expected.minPsnr) << "frame " << n;
            }
        }
    }
}

TEST_F(CodecsTest, PalettedInputOfEveryDepthThroughRle) {
    for (int bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const int width = 35, height = 21;
        std::vector<TestPicture> frames = Frames(3, width, height, bits);
        std::string path = dir.file("rle" + std::to_string(bits) + ".avi");
        AviWriteSpec desc;
        desc.fccHandler = Code("MRLE");
        ASSERT_EQ(WriteTestAvi(path, frames, desc), "");
        std::vector<std::vector<uint8_t>> decoded = DecodeFrames(path, width, height, RowOrder::BottomUpBgr);
        ASSERT_EQ(decoded.size(), frames.size());
        for (size_t n = 0; n < frames.size(); ++n)
            EXPECT_EQ(decoded[n], frames[n].BottomUpBgr()) << "frame " << n;
    }
}

TEST_F(CodecsTest, OddSizesAreRefusedOrWrittenWhole) {
    // Whatever a compressor accepts in the query it must also write.
    const int width = 37, height = 23;
    TestPicture p = MakeTestPicture(width, height, 24, 0);
    for (const ICINFO& listed : Listed()) {
        std::string code = CodeText(listed.fccHandler);
        SCOPED_TRACE(code);
        HIC hic = ICOpen(ICTYPE_VIDEO, listed.fccHandler, ICMODE_QUERY);
        LRESULT answer = ICCompressQuery(hic, &p.header, nullptr);
        ICClose(hic);
        if (answer != ICERR_OK)
            continue;
        std::string path = dir.file("odd" + code + ".avi");
        AviWriteSpec desc;
        desc.fccHandler = listed.fccHandler;
        std::vector<TestPicture> frames = Frames(3, width, height, 24);
        ASSERT_EQ(WriteTestAvi(path, frames, desc), "");
        std::vector<std::vector<uint8_t>> decoded = DecodeFrames(path, width, height, RowOrder::BottomUpBgr);
        ASSERT_EQ(decoded.size(), 3u);
        EXPECT_GE(Psnr(decoded[2], frames[2].BottomUpBgr()), kExpected.at(code).lossless ? 999 : 20);
    }
}

TEST_F(CodecsTest, KeyFramesFollowTheIntervalAndTheWriterFlag) {
    const int count = 10;
    std::vector<TestPicture> frames = Frames(count, 48, 32, 24);
    for (const char* code : {"H264", "FMP4", "FFV1", "MJPG", "CVID", "MSVC"}) {
        ICINFO info;
        if (!ICInfo(ICTYPE_VIDEO, Code(code), &info))
            continue;
        SCOPED_TRACE(code);
        bool temporal = (info.dwFlags & VIDCF_TEMPORAL) != 0;
        // Interval 0 with every frame flagged by the writer: every frame a key frame.
        std::string allKeys = dir.file(std::string(code) + "-all.avi");
        AviWriteSpec desc;
        desc.fccHandler = Code(code);
        ASSERT_EQ(WriteTestAvi(allKeys, frames, desc), "");
        std::vector<ProbePacket> packets = ProbePackets(allKeys, 0);
        ASSERT_EQ(packets.size(), static_cast<size_t>(count));
        for (int n = 0; n < count; ++n)
            EXPECT_TRUE(packets[n].key) << "frame " << n;

        // Interval 4 and no flag from the writer: key frames at 0, 4, 8 only.
        std::string everyFour = dir.file(std::string(code) + "-4.avi");
        desc.keyFrameEvery = 4;
        desc.writeFlags = 0;
        ASSERT_EQ(WriteTestAvi(everyFour, frames, desc), "");
        packets = ProbePackets(everyFour, 0);
        ASSERT_EQ(packets.size(), static_cast<size_t>(count));
        for (int n = 0; n < count; ++n)
            EXPECT_EQ(packets[n].key, !temporal || n % 4 == 0) << "frame " << n;
        std::vector<std::vector<uint8_t>> decoded = DecodeFrames(everyFour, 48, 32, RowOrder::BottomUpBgr);
        ASSERT_EQ(decoded.size(), static_cast<size_t>(count));
        EXPECT_GE(Psnr(decoded.back(), frames.back().BottomUpBgr()), kExpected.at(code).minPsnr);
    }
}

TEST_F(CodecsTest, QualityChangesTheSize) {
    std::vector<TestPicture> frames = Frames(4, 96, 64, 24);
    for (const char* code : {"MJPG", "H264", "FMP4"}) {
        ICINFO info;
        if (!ICInfo(ICTYPE_VIDEO, Code(code), &info))
            continue;
        SCOPED_TRACE(code);
        AviWriteSpec desc;
        desc.fccHandler = Code(code);
        desc.quality = 1500;
        ASSERT_EQ(WriteTestAvi(dir.file("low.avi"), frames, desc), "");
        desc.quality = 9500;
        ASSERT_EQ(WriteTestAvi(dir.file("high.avi"), frames, desc), "");
        size_t low = ReadFileBytes(dir.file("low.avi")).size();
        size_t high = ReadFileBytes(dir.file("high.avi")).size();
        EXPECT_LT(low, high);
        std::vector<uint8_t> good = DecodeFrame(dir.file("high.avi"), 3, 96, 64, RowOrder::BottomUpBgr);
        std::vector<uint8_t> poor = DecodeFrame(dir.file("low.avi"), 3, 96, 64, RowOrder::BottomUpBgr);
        EXPECT_GT(Psnr(good, frames[3].BottomUpBgr()), Psnr(poor, frames[3].BottomUpBgr()));
    }
}

namespace {

int gHandlerCalls = 0;
std::string gHandlerDescription;
std::vector<std::string> gHandlerKeys;

// Stands in for the window side's dialog: picks the last choice of every option.
int PickLast(void*, const char* description, ICOPTION* options, int count) {
    ++gHandlerCalls;
    gHandlerDescription = description;
    gHandlerKeys.clear();
    for (int i = 0; i < count; ++i) {
        gHandlerKeys.push_back(options[i].key);
        int n = 0;
        while (options[i].choices[n])
            ++n;
        options[i].choice = n - 1;
    }
    return 1;
}

int Cancel(void*, const char*, ICOPTION*, int) {
    ++gHandlerCalls;
    return 0;
}

}  // namespace

TEST_F(CodecsTest, ConfigurationIsStoredInItsOwnSectionAndUsed) {
    std::string ini = dir.file("pixreel.ini");
    WriteFileBytes(ini, "[Codec]\nfccHandler=1196444237\n");
    ICSetConfigFile(ini.c_str());
    HIC hic = ICOpen(ICTYPE_VIDEO, Code("MJPG"), ICMODE_QUERY);
    ASSERT_NE(hic, nullptr);

    ICSetConfigureHandler(nullptr);
    EXPECT_EQ(ICConfigure(hic, nullptr), ICERR_UNSUPPORTED);

    ICSetConfigureHandler(&Cancel);
    gHandlerCalls = 0;
    EXPECT_EQ(ICConfigure(hic, nullptr), ICERR_ABORT);
    EXPECT_EQ(gHandlerCalls, 1);
    EXPECT_EQ(ReadFileBytes(ini), "[Codec]\nfccHandler=1196444237\n");

    ICSetConfigureHandler(&PickLast);
    EXPECT_EQ(ICConfigure(hic, nullptr), ICERR_OK);
    EXPECT_EQ(gHandlerDescription, "Motion JPEG (libjpeg-turbo)");
    EXPECT_EQ(gHandlerKeys, (std::vector<std::string>{"Subsampling", "OptimizeHuffman"}));
    char value[32];
    GetPrivateProfileStringA("Codec.MJPG", "Subsampling", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ(value, "4:4:4");
    GetPrivateProfileStringA("Codec", "fccHandler", "", value, sizeof value, ini.c_str());
    EXPECT_STREQ(value, "1196444237");
    ICClose(hic);

    // The stored choice reaches the frames: full-resolution chroma.
    std::string path = dir.file("444.avi");
    AviWriteSpec desc;
    desc.fccHandler = Code("MJPG");
    ASSERT_EQ(WriteTestAvi(path, Frames(2, 32, 32, 24), desc), "");
    ProbeResult probe = ProbeFile(path);
    ASSERT_EQ(probe.streams.size(), 1u);
    EXPECT_EQ(probe.streams[0].pixFmt, "yuvj444p");

    // A hand-edited value that is no choice falls back to the default.
    WritePrivateProfileStringA("Codec.MJPG", "Subsampling", "9:9:9", ini.c_str());
    ASSERT_EQ(WriteTestAvi(path, Frames(2, 32, 32, 24), desc), "");
    EXPECT_EQ(ProbeFile(path).streams.at(0).pixFmt, "yuvj420p");

    // A compressor without options answers the query with "no".
    hic = ICOpen(ICTYPE_VIDEO, Code("MRLE"), ICMODE_QUERY);
    EXPECT_EQ(ICQueryConfigure(hic), ICERR_UNSUPPORTED);
    gHandlerCalls = 0;
    EXPECT_EQ(ICConfigure(hic, nullptr), ICERR_UNSUPPORTED);
    EXPECT_EQ(gHandlerCalls, 0);
    ICClose(hic);
    ICSetConfigureHandler(nullptr);
    ICSetConfigFile(nullptr);
}

namespace {

// The JPEG that libjpeg alone writes for a top-down BGR picture with the MJPG frame's settings.
std::vector<uint8_t> PlainLibjpeg(const std::vector<uint8_t>& bgr, int width, int height, int quality, int hSample,
                                  int vSample) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outBytes = 0;
    jpeg_mem_dest(&info, &out, &outBytes);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = hSample;
    info.comp_info[0].v_samp_factor = vSample;
    info.optimize_coding = TRUE;
    jpeg_start_compress(&info, TRUE);
    const JOCTET avi1[14] = {'A', 'V', 'I', '1'};
    jpeg_write_marker(&info, JPEG_APP0, avi1, sizeof avi1);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr.data() + static_cast<size_t>(info.next_scanline) * width * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(out, out + outBytes);
    std::free(out);
    return bytes;
}

}  // namespace

// The MJPG compressor counts the Huffman symbols with a pass of its own: its frames must be the
// bytes libjpeg writes when it counts them itself, for every kind of block (flat ones, sparse
// ones with long zero runs, dense noise, the largest coefficients) and every subsampling.
TEST_F(CodecsTest, MjpgFramesAreWhatLibjpegAloneWrites) {
    struct Picture {
        const char* name;
        uint8_t (*value)(uint32_t x, uint32_t y, uint32_t channel);
    };
    const Picture pictures[] = {
        {"flat", [](uint32_t, uint32_t, uint32_t c) { return static_cast<uint8_t>(60 + 40 * c); }},
        {"sparse", [](uint32_t x, uint32_t y, uint32_t c) {
             return static_cast<uint8_t>((x * 7 + y * 5) % 97 == 0 ? 255 : (x + y + 30 * c) / 3);
         }},
        {"noise", [](uint32_t x, uint32_t y, uint32_t c) {
             uint32_t h = (x * 374761393u + y * 668265263u + c * 2246822519u) ^ 0x9E3779B9u;
             return static_cast<uint8_t>((h ^ (h >> 15)) * 2654435761u >> 24);
         }},
        {"checker", [](uint32_t x, uint32_t y, uint32_t) { return static_cast<uint8_t>((x + y) % 2 ? 255 : 0); }},
    };
    const char* const subsamplings[] = {"4:2:0", "4:2:2", "4:4:4"};
    const int sizes[][2] = {{64, 48}, {37, 23}};
    std::string ini = dir.file("pixreel.ini");
    ICSetConfigFile(ini.c_str());
    for (int s = 0; s < 3; ++s) {
        WriteFileBytes(ini, std::string("[Codec.MJPG]\nSubsampling=") + subsamplings[s] + "\n");
        for (const auto& size : sizes) {
            for (const Picture& picture : pictures) {
                for (DWORD quality : {5000u, 10000u}) {
                    SCOPED_TRACE(std::string(subsamplings[s]) + " " + picture.name + " " + std::to_string(size[0]) +
                                 " q" + std::to_string(quality));
                    TestPicture frame = MakeTestPicture(size[0], size[1], 24, 0);
                    std::vector<uint8_t> bgr;  // top-down
                    for (int y = 0; y < size[1]; ++y) {
                        uint8_t* row = frame.bits.data() + static_cast<size_t>(size[1] - 1 - y) * frame.header.biSizeImage / size[1];
                        for (int x = 0; x < size[0]; ++x)
                            for (uint32_t c = 0; c < 3; ++c)
                                bgr.push_back(row[3 * x + c] = picture.value(x, y, c));
                    }
                    DibLayout layout;
                    ASSERT_TRUE(ParseDibFormat(&frame.header, 0, layout));
                    std::unique_ptr<VideoCompressor> mjpg = CreateVideoCompressor(Code("MJPG"));
                    CompressSettings settings;
                    settings.quality = quality;
                    ASSERT_EQ(mjpg->Begin(layout, settings), ICERR_OK);
                    std::vector<uint8_t> sample;
                    bool key = false;
                    ASSERT_EQ(mjpg->Compress(frame.bits.data(), true, sample, key), ICERR_OK);
                    const int hSample = s == 2 ? 1 : 2, vSample = s == 0 ? 2 : 1;
                    EXPECT_TRUE(sample == PlainLibjpeg(bgr, size[0], size[1], static_cast<int>(quality / 100), hSample,
                                                       vSample));
                }
            }
        }
    }
    ICSetConfigFile(nullptr);
}

TEST(CodecText, WideDescriptionsBecomeUtf8) {
    const WCHAR text[] = {u'C', u'o', u'd', u'e', u'c', u' ', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0};
    char out[64];
    EXPECT_EQ(ICTextFromWide(text, 128, out, sizeof out), 15u);
    EXPECT_STREQ(out, "Codec \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Cut at a whole character.
    EXPECT_EQ(ICTextFromWide(text, 128, out, 9), 8u);
    EXPECT_STREQ(out, "Codec \xC3\xA9");
    EXPECT_EQ(ICTextFromWide(text, 3, out, sizeof out), 3u);
    EXPECT_STREQ(out, "Cod");
    const WCHAR lone[] = {0xD800, u'x', 0};
    ICTextFromWide(lone, 128, out, sizeof out);
    EXPECT_STREQ(out, "\xEF\xBF\xBDx");
}
