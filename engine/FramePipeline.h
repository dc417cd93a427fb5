#pragma once
// Prepares the images of a conversion ahead of the writer: while the worker writes one frame,
// helper threads decode and transform the next images (and make the gray decodes the
// identical-frame detection needs) and, once the output stream is known, bring them into its
// format and compress them where its compressor allows (engine/CompressAhead). The look-ahead is bounded, so memory does not grow with the
// number of images, and the worker takes the images strictly in order: what it writes and logs
// is exactly what it would be if it prepared each image itself.

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/CompressAhead.h"
#include "engine/FrameTransform.h"
#include "engine/ImageFile.h"

/// One image as the writer wants it.
struct PreparedImage {
    int loaded = 0;       ///< what CImageFile::Load answered for the file
    std::string warning;  ///< the decoder's warning about a damaged file that still decoded
    CPixImage picture;    ///< decoded and transformed; empty when not loaded
    /// The untransformed decode converted to gray, for the identical-frame detection; only when
    /// asked for and the file loaded.
    std::unique_ptr<CImageFile> gray;
    /// The picture in the stream's format, compressed when the plan compresses.
    CompressedAhead compressed;
};

/// Decodes the file, makes the gray copy when asked, and applies the transforms, exactly as the
/// conversion does for one image; then, with a plan, prepares the picture for its stream.
void PrepareImage(const std::string& path, const FrameTransform& transform, bool wantGray, const CCompressPlan* plan,
                  PreparedImage& out);

class CFramePipeline {
public:
    /// helpers 0 prepares every image in Take, on the caller's thread.
    CFramePipeline(std::vector<std::string> paths, const FrameTransform& transform, bool wantGray, int helpers);
    /// Stops the helpers; an image being decoded is finished first.
    ~CFramePipeline();
    CFramePipeline(const CFramePipeline&) = delete;
    CFramePipeline& operator=(const CFramePipeline&) = delete;

    /// The prepared image of paths[index]. Indices are taken in increasing order (some may be
    /// skipped). Instead of waiting, the caller prepares images itself: the one it asks for when
    /// nobody has started on it, else the next ones within the look-ahead.
    std::unique_ptr<PreparedImage> Take(size_t index);
    /// From now on images are prepared for this plan's stream (null: for none). Images already
    /// prepared keep what they were made for.
    void CompressFor(std::shared_ptr<const CCompressPlan> plan);

    /// The number of helper threads for this machine: one less than its cores, at least one and
    /// at most two; PIXREEL_LOOKAHEAD, when set, gives the number (0 turns the helpers off).
    static int DefaultHelpers();
    /// Images prepared and not yet taken (never more than the look-ahead allows).
    size_t ReadyCount();

private:
    void HelperLoop();
    std::unique_ptr<PreparedImage> Prepare(size_t index, std::unique_lock<std::mutex>& lock);

    const std::vector<std::string> paths_;
    const FrameTransform transform_;
    const bool wantGray_;
    const size_t depth_;  // images that may be prepared beyond the one last taken

    std::mutex mutex_;
    std::condition_variable changed_;
    size_t nextClaim_ = 0;  // the next index nobody has started on
    size_t nextTake_ = 0;   // one past the index last taken
    std::map<size_t, std::unique_ptr<PreparedImage>> ready_;
    bool stopping_ = false;
    std::shared_ptr<const CCompressPlan> plan_;
    std::vector<std::thread> helpers_;
};
