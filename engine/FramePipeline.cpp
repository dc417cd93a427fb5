#include "engine/FramePipeline.h"

#include <cstdlib>
#include <system_error>

void PrepareImage(const std::string& path, const FrameTransform& transform, bool wantGray, const CCompressPlan* plan,
                  PreparedImage& out) {
    CImageFile file;
    out.loaded = file.Load(path);
    out.warning = file.Image().LastWarning();
    if (out.loaded && wantGray) {
        // The same picture the comparer would get by decoding the file again.
        CPixImage copy(file.Image(), true, false, false);
        if (copy.IsValid()) {
            copy.ToGray();
            out.gray = std::make_unique<CImageFile>();
            out.gray->Adopt(path, copy);
        }
    }
    if (out.loaded)
        ApplyFrameTransforms(file, &transform);
    out.picture.TakeOver(file.Image());
    if (out.loaded && plan)
        plan->Prepare(out.picture, out.compressed);
}

CFramePipeline::CFramePipeline(std::vector<std::string> paths, const FrameTransform& transform, bool wantGray,
                               int helpers)
    : paths_(std::move(paths)),
      transform_(transform),
      wantGray_(wantGray),
      depth_(helpers > 0 ? static_cast<size_t>(helpers) + 1 : 0) {
    for (int i = 0; i < helpers; ++i) {
        try {
            helpers_.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers; Take prepares what nobody started
        }
    }
}

CFramePipeline::~CFramePipeline() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

void CFramePipeline::HelperLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return stopping_ || (nextClaim_ < paths_.size() && nextClaim_ < nextTake_ + depth_);
        });
        if (stopping_)
            return;
        size_t index = nextClaim_++;
        auto prepared = Prepare(index, lock);
        ready_[index] = std::move(prepared);
        changed_.notify_all();
    }
}

std::unique_ptr<PreparedImage> CFramePipeline::Take(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Images skipped by the caller are dropped unseen.
    ready_.erase(ready_.begin(), ready_.lower_bound(index));
    nextTake_ = index + 1;
    changed_.notify_all();
    for (;;) {
        auto found = ready_.find(index);
        if (found != ready_.end()) {
            auto prepared = std::move(found->second);
            ready_.erase(found);
            return prepared;
        }
        // Rather than wait, the caller prepares an image itself: the one it asks for when nobody
        // has started on it, else the next one nobody has started on within the look-ahead.
        if (index >= paths_.size())
            return std::make_unique<PreparedImage>();  // past the end: nothing to prepare
        size_t claim;
        if (nextClaim_ <= index) {
            claim = index;
        } else if (nextClaim_ < paths_.size() && nextClaim_ < nextTake_ + depth_) {
            claim = nextClaim_;
        } else {
            changed_.wait(lock);
            continue;
        }
        nextClaim_ = claim + 1;
        auto prepared = Prepare(claim, lock);
        if (claim == index)
            return prepared;
        ready_[claim] = std::move(prepared);
        changed_.notify_all();
    }
}

// Prepares paths[index] outside the lock, for the plan in force when it starts.
std::unique_ptr<PreparedImage> CFramePipeline::Prepare(size_t index, std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<const CCompressPlan> plan = plan_;
    lock.unlock();
    auto prepared = std::make_unique<PreparedImage>();
    PrepareImage(paths_[index], transform_, wantGray_, plan.get(), *prepared);
    lock.lock();
    return prepared;
}

void CFramePipeline::CompressFor(std::shared_ptr<const CCompressPlan> plan) {
    std::lock_guard<std::mutex> lock(mutex_);
    plan_ = std::move(plan);
}

size_t CFramePipeline::ReadyCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ready_.size();
}

int CFramePipeline::DefaultHelpers() {
    if (const char* text = std::getenv("PIXREEL_LOOKAHEAD")) {
        char* end = nullptr;
        long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value >= 0 && value <= 8)
            return static_cast<int>(value);
    }
    unsigned cores = std::thread::hardware_concurrency();
    if (cores <= 2)
        return 1;
    return 2;
}
