#include "engine/AviWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "engine/CompressOptions.h"
#include "engine/ImageFile.h"
#include "engine/WindowServices.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"

namespace {

// INFO block layout: list type, then three sub-chunks of an id, a length and 128 bytes of text.
constexpr size_t kInfoTextBytes = 128;
constexpr size_t kSoftwareOffset = 4;
constexpr size_t kCopyrightOffset = kSoftwareOffset + 8 + kInfoTextBytes;   // 140
constexpr size_t kDateOffset = kCopyrightOffset + 8 + kInfoTextBytes;       // 276
static_assert(kDateOffset + 8 + kInfoTextBytes == kAviInfoBlockBytes);

void PutU32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

void PutSubChunk(uint8_t* block, size_t offset, const char* id, const std::string& text) {
    std::memcpy(block + offset, id, 4);
    PutU32(block + offset + 4, static_cast<uint32_t>(kInfoTextBytes));
    // Bytes that are not UTF-8 (the single-byte copyright sign among them) are taken as they are.
    const size_t length = Utf8CutLength(text, kInfoTextBytes - 1);
    std::memcpy(block + offset + 8, text.data(), length);
}

}  // namespace

void BuildAviInfoBlock(uint8_t (&block)[kAviInfoBlockBytes], const char* owner, const char* software,
                       const char* date, int year) {
    std::memset(block, 0, sizeof block);
    std::memcpy(block, "INFO", 4);
    PutSubChunk(block, kSoftwareOffset, "ISFT", software ? software : "");
    const std::string copyright = "Copyright \xA9 " + std::to_string(year) + " " + (owner ? owner : "");
    PutSubChunk(block, kCopyrightOffset, "ICOP", copyright);
    const std::string day = date && *date ? std::string(date) : FormatLocalTime(std::time(nullptr), "%Y-%m-%d");
    PutSubChunk(block, kDateOffset, "ICRD", day);
}

CAviWriter::~CAviWriter() {
    ReleaseAll();
    while (initCount_ > 0) {
        AVIFileExit();
        --initCount_;
    }
}

int CAviWriter::ChooseCompressor(const char*, AVICOMPRESSOPTIONS&, char*, int&) { return 0; }

void CAviWriter::SetRate(int framesPerSec) { rate_ = framesPerSec < 1 ? 1 : framesPerSec; }

long CAviWriter::TextPosition(long frame) const {
    // 64-bit arithmetic: the product must not overflow for long runs.
    const int64_t position = static_cast<int64_t>(frame < 0 ? 0 : frame) * kTextRate / (rate_ < 1 ? 1 : rate_);
    return position > INT32_MAX ? INT32_MAX : static_cast<long>(position);
}

void CAviWriter::RecordError() { lastError_ = static_cast<DWORD>(errno); }

int CAviWriter::Open(const char* path) {
    // A writer still holding a file (a caller that skipped ReleaseAll) completes it first.
    if (file_ || video_ || compressed_ || text_)
        ReleaseAll();
    while (initCount_ != 0) {
        AVIFileExit();
        --initCount_;
    }
    AVIFileInit();
    ++initCount_;

    path_ = path ? path : "";
    ::unlink(path_.c_str());  // an existing file is always replaced; a failure shows at the open
    int result = 1;
    if (AVIFileOpenA(&file_, path_.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK) {
        RecordError();
        file_ = nullptr;
        ShowError(static_cast<int>(lastError_), IDS_FAILED_TO_OPEN_FILE, MB_ICONHAND, {path_.c_str()});
        result = 0;
    }
    frameCount_ = 0;
    return result;
}

int CAviWriter::CreateStreams(const CImageFile& image, int& rememberCodec, int writeNames) {
    // Without an open file the failure has been shown by Open. Streams made before would be
    // orphaned by a second call, and an orphaned reference keeps the file from ever completing.
    if (!file_ || video_ || compressed_ || text_) {
        errno = EINVAL;
        RecordError();
        return 0;
    }
    int result = 1;
    const LONG width = static_cast<LONG>(image.Width());
    const LONG height = static_cast<LONG>(image.Height());

    // Failures are shown and the remaining steps still run; a step whose input stream is
    // missing is left out, since its failure would only repeat the one already shown.
    AVISTREAMINFOA videoInfo{};
    videoInfo.fccType = streamtypeVIDEO;
    videoInfo.fccHandler = 0;
    videoInfo.dwScale = 1;
    videoInfo.dwRate = static_cast<DWORD>(rate_);
    videoInfo.dwQuality = 10000;
    videoInfo.dwSuggestedBufferSize = 0;
    videoInfo.rcFrame = RECT{0, 0, width, height};
    if (AVIFileCreateStreamA(file_, &video_, &videoInfo) != AVIERR_OK) {
        RecordError();
        video_ = nullptr;
        ShowError(static_cast<int>(lastError_), IDS_FAILED_TO_WRITE_FILE, MB_ICONHAND, {path_.c_str()});
        result = 0;
    }

    AVICOMPRESSOPTIONS options{};
    char codecName[256] = "";
    LoadCompressOptions(options, codecName, sizeof codecName);
    if (!rememberCodec || options.fccHandler == 0) {
        int chosen = ChooseCompressor(image.Path().c_str(), options, codecName, rememberCodec);
        if (!chosen)
            return 0;
        codecName[sizeof codecName - 1] = '\0';
        options.lpFormat = nullptr;
        options.lpParms = nullptr;
        options.cbParms = 0;
        // A choice made for this run only (a front end answering by itself, or a compressor named
        // on the command line) is used but never replaces what the user stored.
        if (chosen != kCodecForThisRun)
            SaveCompressOptions(options, codecName);
    }

    keyFrameInterval_ = options.dwKeyFrameEvery;
    if (keyFrameInterval_ > 0)
        options.dwFlags |= AVICOMPRESSF_KEYFRAMES;

    if (video_) {
        if (AVIMakeCompressedStream(&compressed_, video_, &options, nullptr) != AVIERR_OK) {
            RecordError();
            compressed_ = nullptr;
            const char code[5] = {static_cast<char>(options.fccHandler), static_cast<char>(options.fccHandler >> 8),
                                  static_cast<char>(options.fccHandler >> 16),
                                  static_cast<char>(options.fccHandler >> 24), '\0'};
            ShowError(static_cast<int>(lastError_), IDS_COMPRESSOR_FAILED, MB_ICONHAND, {code, path_.c_str()});
            result = 0;
        }
    }

    if (compressed_) {
        const BITMAPINFOHEADER* header = image.HeaderRecord();
        const uint32_t paletteBytes = image.Image().PaletteBytes();
        std::vector<uint8_t> format;
        try {
            format.assign(sizeof(BITMAPINFOHEADER) + paletteBytes, 0);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        if (header)
            std::memcpy(format.data(), header, sizeof(BITMAPINFOHEADER));
        if (paletteBytes)
            std::memcpy(format.data() + sizeof(BITMAPINFOHEADER), image.Image().PaletteEntries(), paletteBytes);
        if (!header ||
            AVIStreamSetFormat(compressed_, 0, format.data(), static_cast<LONG>(format.size())) != AVIERR_OK) {
            if (!header)
                errno = EINVAL;
            RecordError();
            ShowError(static_cast<int>(lastError_), IDS_FORMAT_FAILED, MB_ICONHAND, {path_.c_str()});
            result = 0;
        } else {
            formatWidth_ = header->biWidth;
            formatHeight_ = header->biHeight;
            formatBits_ = header->biBitCount;
        }
    }

    if (writeNames) {
        AVISTREAMINFOA textInfo{};
        textInfo.fccType = streamtypeTEXT;
        textInfo.fccHandler = mmioFOURCC('D', 'R', 'A', 'W');
        textInfo.dwScale = 1;
        textInfo.dwRate = kTextRate;
        textInfo.dwSuggestedBufferSize = 0;
        // A 12-pixel band just below the picture.
        textInfo.rcFrame = RECT{0, height, width, height + 12};
        if (AVIFileCreateStreamA(file_, &text_, &textInfo) != AVIERR_OK) {
            RecordError();
            text_ = nullptr;
            ShowError(static_cast<int>(lastError_), IDS_FAILED_TO_WRITE_FILE, MB_ICONHAND, {path_.c_str()});
            result = 0;
        } else {
            uint8_t textFormat[4];
            PutU32(textFormat, 4);
            if (AVIStreamSetFormat(text_, 0, textFormat, sizeof textFormat) != AVIERR_OK) {
                RecordError();
                ShowError(static_cast<int>(lastError_), IDS_FORMAT_FAILED, MB_ICONHAND, {path_.c_str()});
                result = 0;
            }
        }
    }
    return result;
}

int CAviWriter::WriteFrame(const CImageFile& image) {
    const int frame = frameCount_;
    ++frameCount_;
    const BITMAPINFOHEADER* header = image.HeaderRecord();
    if (!compressed_ || !header || !image.PixelBits()) {
        errno = EINVAL;
        RecordError();
        return 0;
    }
    // The compressor reads the frame with the format it was given; a frame of another shape
    // would be read past its end or misread.
    if (header->biWidth != formatWidth_ || header->biHeight != formatHeight_ || header->biBitCount != formatBits_) {
        errno = EINVAL;
        RecordError();
        return 0;
    }
    DWORD flags = 0;
    if (keyFrameInterval_ == 0 || static_cast<DWORD>(frame) % keyFrameInterval_ == 0)
        flags = AVIIF_KEYFRAME;
    int result = 1;
    if (AVIStreamWrite(compressed_, frame, 1, image.PixelBits(), static_cast<LONG>(header->biSizeImage), flags,
                       nullptr, nullptr) != AVIERR_OK) {
        RecordError();
        result = 0;
    }
    if (text_) {
        const std::string& name = image.Name();
        if (AVIStreamWrite(text_, TextPosition(frame), 1, name.c_str(), static_cast<LONG>(name.size() + 1),
                           AVIIF_KEYFRAME, nullptr, nullptr) != AVIERR_OK) {
            RecordError();
            result = 0;
        }
    }
    return result;
}

void CAviWriter::WriteInfo(const char* owner, const char* software, const char* date) {
    if (!file_)
        return;
    uint8_t block[kAviInfoBlockBytes];
    BuildAviInfoBlock(block, owner, software, date, LocalYear(std::time(nullptr)));
    AVIFileWriteData(file_, mmioFOURCC('L', 'I', 'S', 'T'), block, static_cast<LONG>(sizeof block));
}

int CAviWriter::ReleaseAll() {
    bool whole = true;
    if (file_ && AVIFileStatus(file_) != AVIERR_OK) {
        RecordError();
        whole = false;
    }
    if (video_)
        AVIStreamRelease(video_);
    if (compressed_)
        AVIStreamRelease(compressed_);
    if (text_)
        AVIStreamRelease(text_);
    const bool hadFile = file_ != nullptr;
    if (file_)
        AVIFileRelease(file_);
    if (hadFile && AVIFileLastCloseResult() != AVIERR_OK) {
        RecordError();
        whole = false;
    }
    video_ = nullptr;
    compressed_ = nullptr;
    text_ = nullptr;
    file_ = nullptr;
    formatWidth_ = formatHeight_ = 0;
    formatBits_ = 0;
    return whole ? 1 : 0;
}

int CDocAviWriter::ChooseCompressor(const char* samplePath, AVICOMPRESSOPTIONS& options, char* codecName,
                                    int& alwaysUse) {
    if (!services_.HasMainWindow()) {
        ShowMessageBox(LoadStringText(IDS_CODEC_DIALOG_ERROR), "", MB_ICONHAND);
        return 0;
    }
    CodecRequest request{};
    request.SampleFile = samplePath;
    request.Options = &options;
    request.AlwaysUse = 0;
    int answer = services_.RequestCodec(request);
    if (answer == 0)
        return 0;
    alwaysUse = request.AlwaysUse;
    if (codecName) {
        request.CodecName[sizeof request.CodecName - 1] = '\0';
        std::strcpy(codecName, request.CodecName);
    }
    return answer == kCodecForThisRun ? kCodecForThisRun : 1;
}
