#include "engine/CompressAhead.h"

#include <atomic>

namespace {

std::atomic<uint64_t> gNextPlanId{1};

}  // namespace

CCompressPlan::CCompressPlan(const StreamFormat& format, std::unique_ptr<VideoCompressor> twin)
    : id_(gNextPlanId++), format_(format), prototype_(std::move(twin)) {}

void CCompressPlan::Prepare(CPixImage& picture, CompressedAhead& out) const {
    out = CompressedAhead{};
    if (!format_.valid || !format_.SameSize(picture))
        return;
    if (!format_.Matches(picture) && !ConvertToFormat(picture, format_))
        return;
    if (prototype_) {
        std::unique_ptr<VideoCompressor> twin = TakeTwin();
        if (!twin)
            return;
        // Compressors that make every frame on their own give the same bytes whether or not a
        // key frame is asked for; the stream's own compressor is asked for one on its first.
        const LRESULT done =
            CompressFrameWith(*twin, picture.PixelBits(), picture.Header().biSizeImage, true, out.sample, out.key);
        GiveBack(std::move(twin));
        if (done != ICERR_OK) {
            out = CompressedAhead{};
            return;
        }
    }
    out.plan = id_;
}

std::unique_ptr<VideoCompressor> CCompressPlan::TakeTwin() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
        std::unique_ptr<VideoCompressor> twin = std::move(idle_.back());
        idle_.pop_back();
        return twin;
    }
    return prototype_->Twin();
}

void CCompressPlan::GiveBack(std::unique_ptr<VideoCompressor> twin) const {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(twin));
}
