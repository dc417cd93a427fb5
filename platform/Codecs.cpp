#include "platform/Codecs.h"

#include <cstdio>

#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "base/AsciiCase.h"
#include "base/Utf8.h"
#include "platform/CodecRegistry.h"
#include "platform/Profile.h"

namespace {

// ---- Options of the compressors -----------------------------------------------------------

const char* const kSubsampling[] = {"4:2:0", "4:2:2", "4:4:4", nullptr};
const char* const kNoYes[] = {"No", "Yes", nullptr};
// x264's own preset and tune names, which its compressor hands on as they are ("none" aside).
const char* const kX264Presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium",
                                    "slow",      "slower",    "veryslow", nullptr};
const char* const kX264Tunes[] = {"none", "film", "animation", "grain", "stillimage", nullptr};
const char* const kFfv1Coders[] = {"Golomb-Rice", "Range coder", nullptr};
const char* const kFfv1Contexts[] = {"Small", "Large", nullptr};
const char* const kMbDecisions[] = {"Simple", "Fewest bits", "Rate distortion", nullptr};
const char* const kHuffyuvPredictors[] = {"Left", "Plane", nullptr};
const char* const kPngLevels[] = {"Fastest", "Default", "Smallest", nullptr};

const CodecOptionSpec kMjpgOptions[] = {
    {"Subsampling", "Chroma subsampling", kSubsampling, 0},
    {"OptimizeHuffman", "Optimise Huffman tables", kNoYes, 1},
};
const CodecOptionSpec kH264Options[] = {
    {"Preset", "Speed preset", kX264Presets, 5},
    {"Tune", "Tuning", kX264Tunes, 0},
};
const CodecOptionSpec kFfv1Options[] = {
    {"Coder", "Entropy coder", kFfv1Coders, 1},
    {"Context", "Context model", kFfv1Contexts, 0},
};
const CodecOptionSpec kMpeg4Options[] = {
    {"MbDecision", "Macroblock decision", kMbDecisions, 0},
};
const CodecOptionSpec kHuffyuvOptions[] = {
    {"Predictor", "Prediction", kHuffyuvPredictors, 0},
};
const CodecOptionSpec kPngOptions[] = {
    {"Level", "Compression", kPngLevels, 1},
};

// ---- The registry -------------------------------------------------------------------------

const CodecEntry kCodecs[] = {
    {mmioFOURCC('M', 'J', 'P', 'G'), "MJPG", "Motion JPEG (libjpeg-turbo)", VIDCF_QUALITY, 8500, 0, nullptr,
     &CreateJpegCompressor, kMjpgOptions},
    {mmioFOURCC('H', '2', '6', '4'), "H264", "H.264 / AVC (x264)",
     VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC, 5500, 250, "libx264", &CreateAvCompressor, kH264Options},
    {mmioFOURCC('F', 'M', 'P', '4'), "FMP4", "MPEG-4 Part 2 (FFmpeg)",
     VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC, 7500, 250, "mpeg4", &CreateAvCompressor, kMpeg4Options},
    {mmioFOURCC('F', 'F', 'V', '1'), "FFV1", "FFV1 lossless (FFmpeg)", VIDCF_TEMPORAL, 0, 25, "ffv1",
     &CreateAvCompressor, kFfv1Options},
    {mmioFOURCC('H', 'F', 'Y', 'U'), "HFYU", "Huffyuv lossless (FFmpeg)", 0, 0, 0, "huffyuv", &CreateAvCompressor,
     kHuffyuvOptions},
    {mmioFOURCC('M', 'P', 'N', 'G'), "MPNG", "PNG frames, lossless (FFmpeg)", 0, 0, 0, "png", &CreateAvCompressor,
     kPngOptions},
    {mmioFOURCC('U', 'L', 'R', 'G'), "ULRG", "Ut Video RGB lossless (FFmpeg)", 0, 0, 0, "utvideo",
     &CreateAvCompressor, {}},
    {mmioFOURCC('M', 'R', 'L', 'E'), "MRLE", "Microsoft RLE, 8-bit lossless", 0, 0, 0, nullptr,
     &CreateRle8Compressor, {}},
    {mmioFOURCC('C', 'V', 'I', 'D'), "CVID", "Cinepak (FFmpeg)", VIDCF_TEMPORAL, 0, 15, "cinepak",
     &CreateAvCompressor, {}},
    {mmioFOURCC('M', 'S', 'V', 'C'), "MSVC", "Microsoft Video 1 (FFmpeg)", VIDCF_TEMPORAL, 0, 15, "msvideo1",
     &CreateAvCompressor, {}},
};

// The entries whose encoder this process has, in table order; fixed at the first call.
const std::vector<const CodecEntry*>& Present() {
    static const std::vector<const CodecEntry*> present = [] {
        std::vector<const CodecEntry*> list;
        for (const CodecEntry& e : kCodecs)
            if (!e.encoder || avcodec_find_encoder_by_name(e.encoder) != nullptr)
                list.push_back(&e);
        return list;
    }();
    return present;
}

// The four characters of a code, in the order they are stored.
std::string CodeText(DWORD code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[static_cast<size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
    return text;
}

const CodecEntry* FindEntry(DWORD fcc) {
    for (const CodecEntry* e : Present())
        if (e->fcc == fcc)
            return e;
    // Codes are matched ignoring ASCII case, as "mjpg" and "MJPG" name the same compressor.
    for (const CodecEntry* e : Present())
        if (EqualIgnoringAsciiCase(CodeText(e->fcc), CodeText(fcc)))
            return e;
    return nullptr;
}

void CopyWide(WCHAR* to, size_t capacity, const char* text) {
    size_t i = 0;
    for (; text && text[i] && i + 1 < capacity; ++i)
        to[i] = static_cast<unsigned char>(text[i]);  // the texts of the table are ASCII
    to[i] = 0;
}

void FillInfo(const CodecEntry& e, ICINFO& info) {
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.fccType = ICTYPE_VIDEO;
    info.fccHandler = e.fcc;
    info.dwFlags = e.flags;
    info.dwVersion = e.encoder ? LIBAVCODEC_VERSION_INT : static_cast<DWORD>(JPEG_LIB_VERSION);
    info.dwVersionICM = ICVERSION;
    CopyWide(info.szName, 16, e.name);
    CopyWide(info.szDescription, 128, e.description);
    CopyWide(info.szDriver, 128, e.encoder ? "libavcodec" : (e.create == &CreateJpegCompressor ? "libjpeg" : "pixreel"));
}

// ---- Configuration ------------------------------------------------------------------------

std::mutex gConfigMutex;
std::string gConfigFile;
ICConfigureHandler gConfigureHandler = nullptr;

std::string ConfigFile() {
    std::lock_guard<std::mutex> lock(gConfigMutex);
    return gConfigFile;
}

std::string SectionFor(DWORD fcc) {
    std::string section = "Codec.";
    for (char c : CodeText(fcc))
        if (c != ' ' && c != '\0')
            section += c;
    return section;
}

// The stored choice of a compressor option (the default when nothing usable is stored).
int StoredChoice(DWORD fcc, const CodecOptionSpec& option) {
    std::string file = ConfigFile();
    if (file.empty())
        return option.defaultChoice;
    char value[64];
    GetPrivateProfileStringA(SectionFor(fcc).c_str(), option.key, "", value, sizeof value, file.c_str());
    for (int i = 0; option.choices[i]; ++i)
        if (EqualIgnoringAsciiCase(value, option.choices[i]))
            return i;
    return option.defaultChoice;
}

LRESULT RunConfigure(const CodecEntry& e, void* owner) {
    ICConfigureHandler handler;
    {
        std::lock_guard<std::mutex> lock(gConfigMutex);
        handler = gConfigureHandler;
    }
    if (e.options.empty() || !handler)
        return ICERR_UNSUPPORTED;
    std::vector<ICOPTION> options;
    for (const CodecOptionSpec& desc : e.options)
        options.push_back({desc.key, desc.label, desc.choices, desc.defaultChoice, StoredChoice(e.fcc, desc)});
    if (!handler(owner, e.description, options.data(), static_cast<int>(options.size())))
        return ICERR_ABORT;
    std::string file = ConfigFile();
    if (file.empty())
        return ICERR_OK;
    std::string section = SectionFor(e.fcc);
    for (const ICOPTION& answer : options) {
        int count = 0;
        while (answer.choices[count])
            ++count;
        int choice = answer.choice < 0 || answer.choice >= count ? answer.defaultChoice : answer.choice;
        if (!WritePrivateProfileStringA(section.c_str(), answer.key, answer.choices[choice], file.c_str()))
            return ICERR_ERROR;
    }
    return ICERR_OK;
}

// ---- Queries ------------------------------------------------------------------------------

// The palette entries that follow a header, as Windows callers lay a format out.
size_t FormatBytes(const BITMAPINFOHEADER* h) {
    size_t entries = 0;
    if (h->biBitCount <= 8)
        entries = h->biClrUsed != 0 && h->biClrUsed < (1u << h->biBitCount) ? h->biClrUsed : (1u << h->biBitCount);
    return h->biSize + sizeof(RGBQUAD) * entries;
}

LRESULT CompressQuery(const CodecEntry& e, const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
                      std::vector<uint8_t>* format) {
    if (!input)
        return ICERR_BADPARAM;
    DibLayout layout;
    if (!ParseDibFormat(input, format ? FormatBytes(input) : 0, layout))
        return ICERR_BADFORMAT;
    std::unique_ptr<VideoCompressor> compressor = e.create(e);
    if (!compressor)
        return ICERR_INTERNAL;
    // A trial start answers for the encoder's own limits (sizes, depths) exactly.
    int saved = errno;
    LRESULT began = compressor->Begin(layout, CompressSettings{});
    errno = saved;
    if (began != ICERR_OK)
        return ICERR_BADFORMAT;
    const std::vector<uint8_t>& produced = compressor->OutputFormat();
    if (output) {
        BITMAPINFOHEADER made;
        std::memcpy(&made, produced.data(), sizeof made);
        if (output->biCompression != made.biCompression || output->biWidth != made.biWidth ||
            output->biHeight != made.biHeight)
            return ICERR_BADFORMAT;
    }
    if (format)
        *format = produced;
    return ICERR_OK;
}

void AppendUtf8(std::string& text, uint32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
        return;
    }
    int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const uint8_t kLeads[] = {0, 0xC0, 0xE0, 0xF0};
    text += static_cast<char>(kLeads[continuations] | (c >> (6 * continuations)));
    for (int k = continuations - 1; k >= 0; --k)
        text += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

}  // namespace

struct CodecInstance {
    const CodecEntry* entry;
    UINT mode;
};

int CodecEntry::OptionChoice(const char* key) const {
    for (const CodecOptionSpec& option : options)
        if (std::strcmp(option.key, key) == 0)
            return StoredChoice(fcc, option);
    return 0;
}

const char* CodecEntry::OptionText(const char* key) const {
    for (const CodecOptionSpec& option : options)
        if (std::strcmp(option.key, key) == 0)
            return option.choices[StoredChoice(fcc, option)];
    return "";
}

std::unique_ptr<VideoCompressor> CreateVideoCompressor(DWORD fccHandler) {
    const CodecEntry* e = FindEntry(fccHandler);
    return e ? e->create(*e) : nullptr;
}

namespace {
std::atomic<CompressFaultHook> gFaultHook{nullptr};
}  // namespace

void SetCompressFaultHook(CompressFaultHook hook) { gFaultHook = hook; }

LRESULT CompressFrameWith(VideoCompressor& compressor, const uint8_t* bits, uint64_t bytes, bool forceKey,
                          std::vector<uint8_t>& out, bool& key) {
    CompressFaultHook hook = gFaultHook.load();
    if (hook && hook(bits, bytes)) {
        errno = EIO;
        return ICERR_INTERNAL;
    }
    return compressor.Compress(bits, forceKey, out, key);
}

void VideoCompressor::SetOutputFormat(const DibLayout& input, DWORD compression, WORD bitCount, uint32_t imageBytes,
                                      const uint8_t* extra, size_t extraBytes, uint32_t paletteEntries) {
    BITMAPINFOHEADER h{};
    // With a palette after it the header keeps its 40 bytes; codec data counts into biSize, as
    // readers of AVI files expect.
    h.biSize = static_cast<DWORD>(sizeof h + (paletteEntries ? 0 : extraBytes));
    h.biWidth = static_cast<LONG>(input.width);
    h.biHeight = static_cast<LONG>(input.height);
    h.biPlanes = 1;
    h.biBitCount = bitCount;
    h.biCompression = compression;
    h.biSizeImage = imageBytes;
    h.biClrUsed = paletteEntries;
    outputFormat_.resize(sizeof h + extraBytes);
    std::memcpy(outputFormat_.data(), &h, sizeof h);
    if (extraBytes)
        std::memcpy(outputFormat_.data() + sizeof h, extra, extraBytes);
}

BOOL ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* info) {
    if (!info || (fccType != ICTYPE_VIDEO && fccType != 0))
        return 0;
    const std::vector<const CodecEntry*>& present = Present();
    const CodecEntry* e = fccHandler < present.size() ? present[fccHandler] : FindEntry(fccHandler);
    if (!e)
        return 0;
    FillInfo(*e, *info);
    return 1;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
    if (fccType != ICTYPE_VIDEO && fccType != 0)
        return nullptr;
    if (mode != ICMODE_COMPRESS && mode != ICMODE_FASTCOMPRESS && mode != ICMODE_QUERY)
        return nullptr;
    const CodecEntry* e = FindEntry(fccHandler);
    if (!e)
        return nullptr;
    return new (std::nothrow) CodecInstance{e, mode};
}

LRESULT ICGetInfo(HIC hic, ICINFO* info, DWORD size) {
    if (!hic || !info)
        return 0;
    ICINFO full;
    FillInfo(*hic->entry, full);
    DWORD copied = size < sizeof full ? size : static_cast<DWORD>(sizeof full);
    std::memcpy(info, &full, copied);
    return copied;
}

LRESULT ICSendMessage(HIC hic, UINT message, DWORD_PTR dw1, DWORD_PTR dw2) {
    if (!hic)
        return ICERR_BADHANDLE;
    const CodecEntry& e = *hic->entry;
    switch (message) {
    case ICM_GETINFO:
        return ICGetInfo(hic, reinterpret_cast<ICINFO*>(dw1), static_cast<DWORD>(dw2));
    case ICM_COMPRESS_QUERY:
        return CompressQuery(e, reinterpret_cast<const BITMAPINFOHEADER*>(dw1),
                             reinterpret_cast<const BITMAPINFOHEADER*>(dw2), nullptr);
    case ICM_COMPRESS_GET_FORMAT: {
        std::vector<uint8_t> format;
        LRESULT answer = CompressQuery(e, reinterpret_cast<const BITMAPINFOHEADER*>(dw1), nullptr, &format);
        if (answer != ICERR_OK)
            return answer;
        if (dw2)
            std::memcpy(reinterpret_cast<void*>(dw2), format.data(), format.size());
        return static_cast<LRESULT>(format.size());
    }
    case ICM_CONFIGURE:
        if (dw1 == static_cast<DWORD_PTR>(-1) && (dw2 & ICMF_CONFIGURE_QUERY))
            return e.options.empty() ? ICERR_UNSUPPORTED : ICERR_OK;
        return RunConfigure(e, reinterpret_cast<void*>(dw1));
    case ICM_GETDEFAULTQUALITY:
        if (!(e.flags & VIDCF_QUALITY))
            return ICERR_UNSUPPORTED;
        if (dw1)
            *reinterpret_cast<DWORD*>(dw1) = e.defaultQuality;
        return ICERR_OK;
    case ICM_GETDEFAULTKEYFRAMERATE:
        if (e.defaultKeyRate == 0)
            return ICERR_UNSUPPORTED;
        if (dw1)
            *reinterpret_cast<DWORD*>(dw1) = e.defaultKeyRate;
        return ICERR_OK;
    default:
        return ICERR_UNSUPPORTED;
    }
}

LRESULT ICClose(HIC hic) {
    delete hic;
    return ICERR_OK;
}

size_t ICTextFromWide(const WCHAR* text, size_t maxChars, char* out, size_t size) {
    if (!out || size == 0)
        return 0;
    std::string utf8;
    for (size_t i = 0; text && i < maxChars && text[i]; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < maxChars && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate
        }
        AppendUtf8(utf8, c);
    }
    size_t used = Utf8CutLength(utf8, size - 1);
    std::memcpy(out, utf8.data(), used);
    out[used] = '\0';
    return used;
}

void ICSetConfigureHandler(ICConfigureHandler handler) {
    std::lock_guard<std::mutex> lock(gConfigMutex);
    gConfigureHandler = handler;
}

void ICSetConfigFile(const char* path) {
    std::lock_guard<std::mutex> lock(gConfigMutex);
    gConfigFile = path ? path : "";
}
