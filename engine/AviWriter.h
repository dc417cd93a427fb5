#pragma once
// CAviWriter owns one AVI file while it is written: the file, the uncompressed video stream, the
// compressor stream in front of it, an optional text stream carrying each frame's file name, and
// an INFO chunk. One writer is reused for any number of files:
//   SetRate, Open, CreateStreams, WriteFrame..., WriteInfo (optional), ReleaseAll.
// Failures of system calls are shown with ShowError and answered with 0; nothing throws.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "engine/ErrorReporter.h"
#include "platform/AviFile.h"
#include "platform/VideoCompressor.h"

class CImageFile;
class WindowServices;

/// Size of the INFO block handed to the file: three 128-byte texts with their chunk headers.
inline constexpr size_t kAviInfoBlockBytes = 412;

/// Fills the 412-byte INFO block: "INFO", then "ISFT", "ICOP" and "ICRD" sub-chunks of 128 bytes
/// each (software; "Copyright \xA9 <year> <owner>"; date, today's "%Y-%m-%d" when date is null
/// or empty). Texts are cut to 127 bytes, never inside a UTF-8 character.
void BuildAviInfoBlock(uint8_t (&block)[kAviInfoBlockBytes], const char* owner, const char* software,
                       const char* date, int year);

class CAviWriter : public CErrorReporter {
public:
    /// Name samples are timed in units of 1/60 s.
    static constexpr int kTextRate = 60;

    CAviWriter() = default;
    virtual ~CAviWriter();
    CAviWriter(const CAviWriter&) = delete;
    CAviWriter& operator=(const CAviWriter&) = delete;

    /// Asks for the compressor of a new file: fills options and codecName (256 bytes) and sets
    /// alwaysUse; 1 chosen (and stored), kCodecForThisRun chosen for this run only (not stored),
    /// 0 cancelled. The plain writer has nobody to ask and answers 0.
    virtual int ChooseCompressor(const char* samplePath, AVICOMPRESSOPTIONS& options, char* codecName,
                                 int& alwaysUse);

    /// Creates the file at path, replacing any file there, and locks it (flock) until ReleaseAll
    /// has completed it. A file that another writer holds locked is not touched: 0 with the box
    /// "The AVI file %s is in use by another Pixreel". 1 / 0 (with an error box).
    int Open(const char* path);
    /// Video stream, compressor stream (asking for the compressor unless rememberCodec is set and
    /// one is stored; rememberCodec then receives the answer's always-use flag), the frame format
    /// taken from image, and with writeNames the text stream. 1 / 0; 0 at once without an open
    /// file or when the file already has its streams.
    int CreateStreams(const CImageFile& image, int& rememberCodec, int writeNames);
    /// Writes the image as the next frame and, with a text stream, its file name. The frame
    /// count advances either way. 1 only when every write succeeded; 0 (errno set) also for an
    /// image whose size or depth differs from the stream's format.
    int WriteFrame(const CImageFile& image);
    /// WriteFrame with the frame's sample made ahead by a twin of the stream's compressor from
    /// the image's pixels (CompressorTwin): the same file bytes, without compressing again.
    int WriteCompressedFrame(const CImageFile& image, const std::vector<uint8_t>& sample, bool key);
    /// A twin of the open stream's compressor (see AVIStreamCompressorTwin); null when there is
    /// none to be had.
    std::unique_ptr<VideoCompressor> CompressorTwin() const;
    /// Adds the INFO chunk (software, copyright with this year, date). Nothing without a file.
    void WriteInfo(const char* owner, const char* software, const char* date);
    /// Releases the streams and the file, which completes it on disk. 1 when the file (if any)
    /// was completed without error, 0 when it is not whole (a failed write, a full disk).
    int ReleaseAll();

    /// Frames per second of the next video stream and of the name positions from now on. A rate
    /// below 1 (from a hand-edited settings file) is taken as 1.
    void SetRate(int framesPerSec);
    int Rate() const { return rate_; }
    /// Index of the next video frame.
    int FrameCount() const { return frameCount_; }
    DWORD KeyFrameInterval() const { return keyFrameInterval_; }
    /// errno of the last failure.
    DWORD LastError() const { return lastError_; }
    /// Number of AVIFileInit calls of this writer not yet matched by AVIFileExit (0 or 1).
    int InitCount() const { return initCount_; }
    bool IsOpen() const { return file_ != nullptr; }

    /// Text position of the name of video frame n at the current rate: n x 60 / rate.
    long TextPosition(long frame) const;

private:
    void RecordError();
    void CloseLock();
    /// Records errno and shows it with the string-table message; always false.
    bool Fail(unsigned messageId, std::initializer_list<const char*> arguments);
    /// Shows the string-table message, which says the reason itself, without a system text;
    /// records EINVAL; always false.
    bool Refuse(unsigned messageId, std::initializer_list<const char*> arguments);

    // The steps of CreateStreams; each shows its own failure.
    bool CreateVideoStream(LONG width, LONG height);
    /// The stored compressor when rememberCodec is set and one is stored, else the one chosen
    /// now; false when the choice was cancelled.
    bool ObtainCompressOptions(const CImageFile& image, AVICOMPRESSOPTIONS& options, int& rememberCodec);
    bool MakeCompressedStream(AVICOMPRESSOPTIONS& options);
    bool SetFrameFormat(const CImageFile& image, DWORD fccHandler);
    bool CreateTextStream(LONG width, LONG height);
    // WriteFrame with the video sample's write given: the checks, the name sample and the count.
    template <typename WriteVideo>
    int WriteFrameWith(const CImageFile& image, WriteVideo writeVideo);

    // The streams of the open file and the frame format the compressor was given (frames of
    // another shape are refused); ReleaseAll empties them.
    struct Streams {
        PAVISTREAM video = nullptr;
        PAVISTREAM compressed = nullptr;
        PAVISTREAM text = nullptr;
        BITMAPINFOHEADER format{};
    };

    // The writer, kept from file to file.
    DWORD lastError_ = 0;
    int initCount_ = 0;
    int rate_ = 12;
    // The file.
    PAVIFILE file_ = nullptr;
    int lockFd_ = -1;   // the file's lock, held while it is written
    std::string path_;  // for messages
    int frameCount_ = 0;
    DWORD keyFrameInterval_ = 0;
    Streams streams_;
};

/// The document's writer: it has the main window run the Select Codec dialog.
class CDocAviWriter : public CAviWriter {
public:
    explicit CDocAviWriter(WindowServices& services) : services_(services) {}

    int ChooseCompressor(const char* samplePath, AVICOMPRESSOPTIONS& options, char* codecName,
                         int& alwaysUse) override;

private:
    WindowServices& services_;
};
