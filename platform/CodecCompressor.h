#pragma once
// The inside of the compressor registry, shared by the registry and the AVI file's compressed
// streams: one compressor instance turns frames of one input DIB format into the frames of its
// output format.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Codecs.h"
#include "platform/CodecPixels.h"

struct CompressSettings {
    DWORD quality = ICQUALITY_DEFAULT;  // 0 to 10000, or ICQUALITY_DEFAULT
    DWORD keyFrameEvery = 0;            // 0: the compressor's default interval
    DWORD rate = 25;                    // frame rate as rate / scale, for rate control
    DWORD scale = 1;
};

class VideoCompressor {
public:
    virtual ~VideoCompressor() = default;

    /// Prepares for frames of the input format (header with its palette); afterwards
    /// OutputFormat() holds the output BITMAPINFOHEADER and whatever follows it in strf.
    /// ICERR_OK, ICERR_BADFORMAT for an input it cannot take, ICERR_INTERNAL (errno set) else.
    virtual LRESULT Begin(const DibLayout& input, const CompressSettings& settings) = 0;
    /// Compresses one frame of the input format (bottom-up DIB rows). forceKey asks for a key
    /// frame. Exactly one output frame per input frame; key says whether it is a key frame.
    virtual LRESULT Compress(const uint8_t* bits, bool forceKey, std::vector<uint8_t>& out, bool& key) = 0;

    const std::vector<uint8_t>& OutputFormat() const { return outputFormat_; }

protected:
    /// Fills outputFormat_ with a header for the given compression and bit count and the bytes
    /// that follow it (codec extradata or a palette).
    void SetOutputFormat(const DibLayout& input, DWORD compression, WORD bitCount, uint32_t imageBytes,
                         const uint8_t* extra, size_t extraBytes, uint32_t paletteEntries);

    std::vector<uint8_t> outputFormat_;
};

/// A compressor instance for a registry code; null when the code is not offered here.
std::unique_ptr<VideoCompressor> CreateVideoCompressor(DWORD fccHandler);

/// One option of a compressor as the registry describes it (see ICOPTION).
struct CodecOptionSpec {
    const char* key;
    const char* label;
    const char* const* choices;  // ends with nullptr
    int defaultChoice;
};

/// The stored choice of a compressor option (the default when nothing usable is stored).
int CodecOptionChoice(DWORD fccHandler, const CodecOptionSpec& option);

// Factories of the compressor families.
std::unique_ptr<VideoCompressor> CreateJpegCompressor();
std::unique_ptr<VideoCompressor> CreateRle8Compressor();
/// The libavcodec compressor serving a registry code; null for a code it does not serve.
std::unique_ptr<VideoCompressor> CreateAvCompressor(DWORD fccHandler);

/// The stored choice of the option named key of a compressor; 0 when there is no such option.
int CodecOptionChoiceByKey(DWORD fccHandler, const char* key);
