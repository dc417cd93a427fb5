#pragma once
// Small helpers shared by the geometric operations and the pixel adjustments: the progress and
// stop fields of a running operation.

#include <atomic>
#include <cstdint>

#include "image/PixImage.h"

namespace pixtransform {

// Another thread may set escape or read progress while an operation runs; both are plain fields
// of ImageInfo, so they are accessed atomically here.
inline bool StopRequested(CPixImage& image) {
    return std::atomic_ref<uint32_t>(image.Info().escape).load(std::memory_order_relaxed) != 0;
}

inline void SetProgress(CPixImage& image, uint64_t done, uint64_t total) {
    auto percent = static_cast<int32_t>(total ? 100 * done / total : 100);
    std::atomic_ref<int32_t>(image.Info().progress).store(percent, std::memory_order_relaxed);
}

}  // namespace pixtransform
