#pragma once
// CFrameComparer: decides whether an image differs enough from the one before it to be written.
// It compares its own untransformed 8-bit gray decodes of the image files, so the frame
// transforms never influence the decision.

#include <memory>

#include "engine/ImageFile.h"

class CFrameComparer {
public:
    CFrameComparer() = default;
    ~CFrameComparer() { Reset(); }
    CFrameComparer(const CFrameComparer&) = delete;
    CFrameComparer& operator=(const CFrameComparer&) = delete;

    /// 1 keep the image, 0 drop it: drop when the root-mean-square gray difference to the
    /// previous image, in percent of the gray range, is below the threshold. Thresholds of 0.25
    /// and less switch the detection off. The image is decoded again from its path unless
    /// `gray` holds that decode already converted to gray (it is taken over).
    int Compare(const CImageFile& image, double threshold, std::unique_ptr<CImageFile> gray = nullptr);
    /// Forgets the reference; the next image compared is kept.
    void Reset();

    /// The difference in percent between two gray pictures of the same size.
    static double Difference(const CImageFile& a, const CImageFile& b);

private:
    std::unique_ptr<CImageFile> reference_;
};
