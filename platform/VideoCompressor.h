#pragma once
// One compressor instance: it turns frames of one input DIB format into the frames of its output
// format. The compressor registry makes them; a compressed AVI stream drives one.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/CodecPixels.h"
#include "platform/Codecs.h"

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
    /// After Begin: a second compressor set up exactly like this one, for compressing frames of
    /// the same stream on another thread. Only a compressor whose output for a frame depends on
    /// that frame's pixels alone has one (so that any instance gives the same bytes); null for
    /// one that carries state from frame to frame.
    virtual std::unique_ptr<VideoCompressor> Twin() const { return nullptr; }

    const std::vector<uint8_t>& OutputFormat() const { return outputFormat_; }

protected:
    /// Fills outputFormat_ with a header for the given compression and bit count and the bytes
    /// that follow it (codec extradata or a palette).
    void SetOutputFormat(const DibLayout& input, DWORD compression, WORD bitCount, uint32_t imageBytes,
                         const uint8_t* extra, size_t extraBytes, uint32_t paletteEntries);

    std::vector<uint8_t> outputFormat_;
};

/// Compresses one frame through the compressor, unless the fault hook (a test's) refuses it.
LRESULT CompressFrameWith(VideoCompressor& compressor, const uint8_t* bits, uint64_t bytes, bool forceKey,
                          std::vector<uint8_t>& out, bool& key);

/// A test's stand-in for a compressor failing in the middle of a run: every frame whose bytes
/// the hook answers true for fails (ICERR_INTERNAL, errno EIO) in whichever instance takes it.
/// Null (the default) lets every frame through. Set it while no frame is being compressed.
using CompressFaultHook = bool (*)(const uint8_t* bits, uint64_t bytes);
void SetCompressFaultHook(CompressFaultHook hook);

/// A compressor instance for a registry code (matched as ICOpen matches it); null when the code
/// is not offered here.
std::unique_ptr<VideoCompressor> CreateVideoCompressor(DWORD fccHandler);
