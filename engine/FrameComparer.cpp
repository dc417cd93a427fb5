#include "engine/FrameComparer.h"

#include <cmath>
#include <cstdint>
#include <new>

int CFrameComparer::Compare(const CImageFile& image, double threshold, std::unique_ptr<CImageFile> gray) {
    if (!(threshold > 0.25))
        return 1;

    std::unique_ptr<CImageFile> current = std::move(gray);
    if (!current) {
        current.reset(new (std::nothrow) CImageFile);
        if (!current)
            return 1;
        // A file that no longer decodes leaves the picture empty: its DibSize of 0 differs from
        // every real reference, so the image is kept and the empty picture becomes the reference.
        if (current->Load(image.Path()))
            current->Image().ToGray();
    }

    if (!reference_ || current->DibSize() != reference_->DibSize()) {
        Reset();
        reference_ = std::move(current);
        return 1;
    }

    double difference = Difference(*current, *reference_);
    Reset();
    reference_ = std::move(current);
    return difference < threshold ? 0 : 1;
}

double CFrameComparer::Difference(const CImageFile& a, const CImageFile& b) {
    const uint64_t width = b.Width();
    const uint64_t height = b.Height();
    // Both pictures are 8-bit gray after a successful conversion; anything else (a conversion
    // that ran out of memory) counts as completely different rather than being misread.
    if (width == 0 || height == 0 || a.Width() != width || a.Height() != height || a.BitsPerPixel() != 8 ||
        b.BitsPerPixel() != 8)
        return 100.0;
    // At most 255^2 per pixel over at most 2^30 pixels (the toolkit's block limit), so the sum
    // stays far below 2^64.
    uint64_t sum = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* rowA = a.Row(y);
        const uint8_t* rowB = b.Row(y);
        for (uint64_t x = 0; x < width; ++x) {
            int64_t d = static_cast<int64_t>(rowA[x]) - static_cast<int64_t>(rowB[x]);
            sum += static_cast<uint64_t>(d * d);
        }
    }
    return std::sqrt(static_cast<double>(sum) / static_cast<double>(width * height)) * 100.0 *
           0.00392156862745098;
}

void CFrameComparer::Reset() {
    reference_.reset();
}
