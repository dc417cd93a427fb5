#pragma once
// Compression of frames ahead of the writer. While the writer writes one frame, the helpers that
// decode the next images also bring them into the open stream's format and, where the stream's
// compressor makes every frame on its own (MJPG, FFV1 with key frames only, HFYU, MPNG, ULRG,
// MRLE), compress them with twins of that compressor. The writer then stores the sample made
// ahead instead of compressing the frame itself; the file gets the same bytes either way.
//
// A plan belongs to one stream of one output. A frame made ahead names its plan, and the writer
// takes it only while that plan is the open stream's own; anything else (an image prepared
// before the stream existed, a stream opened since) is compressed by the writer as before.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/StreamFormat.h"
#include "platform/VideoCompressor.h"

/// What the helpers made of one image for a plan.
struct CompressedAhead {
    uint64_t plan = 0;            ///< the plan it was made for; 0 when nothing was made
    std::vector<uint8_t> sample;  ///< the compressed frame; empty for a plan without compressor
    bool key = false;             ///< the compressor's key-frame answer
};

class CCompressPlan {
public:
    /// For a stream whose frames have `format`; `twin` is a twin of its compressor, or null when
    /// frames are only brought into the format here and compressed by the writer (uncompressed
    /// frames, compressors whose frames depend on each other).
    CCompressPlan(const StreamFormat& format, std::unique_ptr<VideoCompressor> twin);
    CCompressPlan(const CCompressPlan&) = delete;
    CCompressPlan& operator=(const CCompressPlan&) = delete;

    /// Brings the picture into the stream's format and, with a compressor, compresses it. A
    /// picture of another size, one that cannot be converted, and a frame whose compression
    /// fails are left for the writer (out.plan stays 0), which then meets the same outcome in
    /// the same place of the log. Any thread; several at once.
    void Prepare(CPixImage& picture, CompressedAhead& out) const;

    uint64_t Id() const { return id_; }
    bool Compresses() const { return prototype_ != nullptr; }

private:
    std::unique_ptr<VideoCompressor> TakeTwin() const;
    void GiveBack(std::unique_ptr<VideoCompressor> twin) const;

    const uint64_t id_;
    const StreamFormat format_;
    // Never compresses itself: further twins are made from it, one for each thread at a time.
    const std::unique_ptr<VideoCompressor> prototype_;
    mutable std::mutex mutex_;
    mutable std::vector<std::unique_ptr<VideoCompressor>> idle_;
};
