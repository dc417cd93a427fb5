#include "engine/AviWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/ByteOrder.h"
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

// The lock on an output file that exists already, held while it is replaced.
struct OutputLock {
    int fd = -1;
    bool inUse = false;  // another writer holds the file

    OutputLock() = default;
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    ~OutputLock() {
        if (fd >= 0)
            ::close(fd);
    }
    int Release() {
        const int held = fd;
        fd = -1;
        return held;
    }
};

void LockExisting(const std::string& path, OutputLock& lock) {
    // Without waiting: whatever the name holds (a FIFO too) opens at once.
    lock.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (lock.fd >= 0 && ::flock(lock.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        lock.inUse = true;
}

// Locks a file this writer has just created.
int LockCreated(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

// Creates a new, locked file beside path under a name of its own (made) and answers its lock;
// -1 when the folder takes no new file.
int CreateLocked(const std::string& path, std::string& made) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder;
        name += '.';
        name += base;
        name += ".pixreel-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        ::flock(fd, LOCK_EX | LOCK_NB);  // nobody else knows the name yet
        made = name;
        return fd;
    }
    return -1;
}

void PutSubChunk(uint8_t* block, size_t offset, const char* id, const std::string& text) {
    std::memcpy(block + offset, id, 4);
    le::WriteU32(block + offset + 4, static_cast<uint32_t>(kInfoTextBytes));
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
    if (file_ || streams_.video || streams_.compressed || streams_.text)
        ReleaseAll();
    while (initCount_ != 0) {
        AVIFileExit();
        --initCount_;
    }
    AVIFileInit();
    ++initCount_;

    path_ = path ? path : "";
    frameCount_ = 0;
    // A Pixreel holds a lock on the file it writes, from its creation to its completion. A file
    // that another run holds is left alone: replacing it would have that run write on into a
    // deleted file and report success.
    OutputLock existing;
    LockExisting(path_, existing);
    if (existing.inUse) {
        Refuse(IDS_OUTPUT_IN_USE, {path_.c_str()});
        return 0;
    }
    // An existing file is always replaced. The new one is made and locked under a name of its
    // own and then renamed over the old one, whose lock is held until then: no other run can
    // slip in between and take either. Where the folder takes no new name (or no longer one),
    // the old file is removed and the new one locked once it is made; where it cannot even be
    // removed, it is truncated in place under the lock already held.
    std::string made = path_;
    lockFd_ = CreateLocked(path_, made);
    if (lockFd_ < 0 && ::unlink(path_.c_str()) != 0)
        lockFd_ = existing.Release();  // a failure to create shows at the open
    if (AVIFileOpenA(&file_, made.c_str(), OF_WRITE | OF_CREATE, nullptr) == AVIERR_OK &&
        (made == path_ || ::rename(made.c_str(), path_.c_str()) == 0)) {
        if (lockFd_ < 0)
            lockFd_ = LockCreated(path_);
        return 1;
    }
    const int code = errno;
    if (file_)
        AVIFileRelease(file_);
    file_ = nullptr;
    if (made != path_)
        ::unlink(made.c_str());
    CloseLock();
    errno = code;
    Fail(IDS_FAILED_TO_OPEN_FILE, {path_.c_str()});
    return 0;
}

void CAviWriter::CloseLock() {
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
}

int CAviWriter::CreateStreams(const CImageFile& image, int& rememberCodec, int writeNames) {
    // Without an open file the failure has been shown by Open. Streams made before would be
    // orphaned by a second call, and an orphaned reference keeps the file from ever completing.
    if (!file_ || streams_.video || streams_.compressed || streams_.text) {
        errno = EINVAL;
        RecordError();
        return 0;
    }
    const LONG width = static_cast<LONG>(image.Width());
    const LONG height = static_cast<LONG>(image.Height());

    // Failures are shown and the remaining steps still run; a step whose input stream is
    // missing is left out, since its failure would only repeat the one already shown.
    bool whole = CreateVideoStream(width, height);
    AVICOMPRESSOPTIONS options{};
    if (!ObtainCompressOptions(image, options, rememberCodec))
        return 0;
    keyFrameInterval_ = options.dwKeyFrameEvery;
    if (keyFrameInterval_ > 0)
        options.dwFlags |= AVICOMPRESSF_KEYFRAMES;
    if (streams_.video)
        whole = MakeCompressedStream(options) && whole;
    if (streams_.compressed)
        whole = SetFrameFormat(image, options.fccHandler) && whole;
    if (writeNames)
        whole = CreateTextStream(width, height) && whole;
    return whole ? 1 : 0;
}

bool CAviWriter::Fail(unsigned messageId, std::initializer_list<const char*> arguments) {
    RecordError();
    ShowError(static_cast<int>(lastError_), messageId, MB_ICONHAND, arguments);
    return false;
}

bool CAviWriter::CreateVideoStream(LONG width, LONG height) {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.fccHandler = 0;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(rate_);
    info.dwQuality = 10000;
    info.dwSuggestedBufferSize = 0;
    info.rcFrame = RECT{0, 0, width, height};
    if (AVIFileCreateStreamA(file_, &streams_.video, &info) == AVIERR_OK)
        return true;
    streams_.video = nullptr;
    return Fail(IDS_FAILED_TO_WRITE_FILE, {path_.c_str()});
}

bool CAviWriter::ObtainCompressOptions(const CImageFile& image, AVICOMPRESSOPTIONS& options, int& rememberCodec) {
    char codecName[256] = "";
    LoadCompressOptions(options, codecName, sizeof codecName);
    if (rememberCodec && options.fccHandler != 0)
        return true;
    const int chosen = ChooseCompressor(image.Path().c_str(), options, codecName, rememberCodec);
    if (!chosen)
        return false;
    codecName[sizeof codecName - 1] = '\0';
    options.lpFormat = nullptr;
    options.lpParms = nullptr;
    options.cbParms = 0;
    // A choice made for this run only (a front end answering by itself, or a compressor named on
    // the command line) is used but never replaces what the user stored.
    if (chosen != kCodecForThisRun)
        SaveCompressOptions(options, codecName);
    return true;
}

bool CAviWriter::MakeCompressedStream(AVICOMPRESSOPTIONS& options) {
    const HRESULT made = AVIMakeCompressedStream(&streams_.compressed, streams_.video, &options, nullptr);
    if (made == AVIERR_OK)
        return true;
    streams_.compressed = nullptr;
    const std::string code = FourCCText(options.fccHandler);
    // A stored code that this machine has no compressor for: the system's "No such file or
    // directory" would only mislead.
    if (made == AVIERR_NOCOMPRESSOR)
        return Refuse(IDS_NO_COMPRESSOR, {code.c_str(), path_.c_str()});
    return Fail(IDS_COMPRESSOR_FAILED, {code.c_str(), path_.c_str()});
}

bool CAviWriter::Refuse(unsigned messageId, std::initializer_list<const char*> arguments) {
    errno = EINVAL;
    RecordError();
    ShowError(0, messageId, MB_ICONHAND, arguments);
    return false;
}

bool CAviWriter::SetFrameFormat(const CImageFile& image, DWORD fccHandler) {
    const BITMAPINFOHEADER* header = image.HeaderRecord();
    if (!header) {
        errno = EINVAL;
        return Fail(IDS_FORMAT_FAILED, {path_.c_str()});
    }
    // The frame format: the bitmap header followed by the palette.
    const uint32_t paletteBytes = image.Image().PaletteBytes();
    std::vector<uint8_t> format(sizeof(BITMAPINFOHEADER) + paletteBytes, 0);
    std::memcpy(format.data(), header, sizeof(BITMAPINFOHEADER));
    if (paletteBytes)
        std::memcpy(format.data() + sizeof(BITMAPINFOHEADER), image.Image().PaletteEntries(), paletteBytes);
    const HRESULT set = AVIStreamSetFormat(streams_.compressed, 0, format.data(), static_cast<LONG>(format.size()));
    if (set == AVIERR_BADFORMAT) {
        // The compressor (a remembered one, typically) refuses the picture's size or depth: say
        // which, rather than "Invalid argument".
        const std::string code = FourCCText(fccHandler);
        const std::string width = std::to_string(header->biWidth);
        const std::string height = std::to_string(header->biHeight);
        const std::string bits = std::to_string(header->biBitCount);
        return Refuse(IDS_FORMAT_REFUSED, {code.c_str(), width.c_str(), height.c_str(), bits.c_str(), path_.c_str()});
    }
    if (set != AVIERR_OK)
        return Fail(IDS_FORMAT_FAILED, {path_.c_str()});
    streams_.format = *header;
    return true;
}

bool CAviWriter::CreateTextStream(LONG width, LONG height) {
    // A 'txts' stream with the 'DRAW' handler is all AVI has to say "text". FFmpeg ignores both
    // and guesses every text stream's kind from its first samples, so names that begin like an
    // MP3 frame ("ID3...") make it report the stream as MP3 audio; the video is not affected.
    AVISTREAMINFOA info{};
    info.fccType = streamtypeTEXT;
    info.fccHandler = mmioFOURCC('D', 'R', 'A', 'W');
    info.dwScale = 1;
    info.dwRate = kTextRate;
    info.dwSuggestedBufferSize = 0;
    // A 12-pixel band just below the picture.
    info.rcFrame = RECT{0, height, width, height + 12};
    if (AVIFileCreateStreamA(file_, &streams_.text, &info) != AVIERR_OK) {
        streams_.text = nullptr;
        return Fail(IDS_FAILED_TO_WRITE_FILE, {path_.c_str()});
    }
    // The text format: the size of the format record itself.
    uint8_t textFormat[4];
    le::WriteU32(textFormat, sizeof textFormat);
    if (AVIStreamSetFormat(streams_.text, 0, textFormat, sizeof textFormat) != AVIERR_OK)
        return Fail(IDS_FORMAT_FAILED, {path_.c_str()});
    return true;
}

int CAviWriter::WriteFrame(const CImageFile& image) {
    return WriteFrameWith(image, [&](int frame, DWORD flags) {
        return AVIStreamWrite(streams_.compressed, frame, 1, image.PixelBits(),
                              static_cast<LONG>(image.HeaderRecord()->biSizeImage), flags, nullptr, nullptr);
    });
}

int CAviWriter::WriteCompressedFrame(const CImageFile& image, const std::vector<uint8_t>& sample, bool key) {
    return WriteFrameWith(image, [&](int frame, DWORD) {
        return AVIStreamWriteCompressed(streams_.compressed, frame, sample.data(), static_cast<LONG>(sample.size()),
                                        key, nullptr);
    });
}

std::unique_ptr<VideoCompressor> CAviWriter::CompressorTwin() const {
    return streams_.compressed ? AVIStreamCompressorTwin(streams_.compressed) : nullptr;
}

template <typename WriteVideo>
int CAviWriter::WriteFrameWith(const CImageFile& image, WriteVideo writeVideo) {
    const int frame = frameCount_;
    ++frameCount_;
    // The compressor reads the frame with the format it was given; a frame of another shape
    // would be read past its end or misread.
    const BITMAPINFOHEADER* header = image.HeaderRecord();
    const BITMAPINFOHEADER& format = streams_.format;
    if (!streams_.compressed || !header || !image.PixelBits() || header->biWidth != format.biWidth ||
        header->biHeight != format.biHeight || header->biBitCount != format.biBitCount) {
        errno = EINVAL;
        RecordError();
        return 0;
    }
    DWORD flags = 0;
    if (keyFrameInterval_ == 0 || static_cast<DWORD>(frame) % keyFrameInterval_ == 0)
        flags = AVIIF_KEYFRAME;
    int result = 1;
    if (writeVideo(frame, flags) != AVIERR_OK) {
        RecordError();
        result = 0;
    }
    if (streams_.text) {
        const std::string& name = image.Name();
        if (AVIStreamWrite(streams_.text, TextPosition(frame), 1, name.c_str(), static_cast<LONG>(name.size() + 1),
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
    for (PAVISTREAM stream : {streams_.video, streams_.compressed, streams_.text}) {
        if (stream)
            AVIStreamRelease(stream);
    }
    streams_ = Streams{};
    const bool hadFile = file_ != nullptr;
    if (file_)
        AVIFileRelease(file_);
    if (hadFile && AVIFileLastCloseResult() != AVIERR_OK) {
        RecordError();
        whole = false;
    }
    file_ = nullptr;
    CloseLock();  // only now is the file complete
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
