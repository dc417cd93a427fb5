#include "engine/PictureFit.h"

#include <algorithm>

namespace {

constexpr int32_t kBorder = 2;  // the sunken border's width on each side

int32_t Truncated(double value) {
    return static_cast<int32_t>(value);
}

}  // namespace

PictureSize FitPicture(int32_t boxWidth, int32_t boxHeight, uint32_t imageWidth, uint32_t imageHeight) {
    // An empty image or box has nothing to fit; a ratio would divide by zero.
    if (imageWidth == 0 || imageHeight == 0 || boxWidth <= 0 || boxHeight <= 0)
        return {};
    if (imageWidth == imageHeight) {
        const int32_t side = std::min(boxWidth, boxHeight);
        return {side, side};
    }
    // The long side fills the box; the short one follows the ratio. Should the short side then
    // overflow the box, it fills the box instead and the long side follows. Sizes are truncated
    // toward zero.
    PictureSize size;
    if (imageWidth > imageHeight) {
        const double ratio = static_cast<double>(imageWidth) / imageHeight;
        size = {boxWidth, Truncated(boxWidth / ratio)};
        if (size.height > boxHeight)
            size = {Truncated(boxHeight * ratio), boxHeight};
    } else {
        const double ratio = static_cast<double>(imageHeight) / imageWidth;
        size = {Truncated(boxHeight / ratio), boxHeight};
        if (size.width > boxWidth)
            size = {boxWidth, Truncated(boxWidth * ratio)};
    }
    return size;
}

bool SameSizeAsLastDraw(PictureSize last, PictureSize next) {
    return next.width == static_cast<int64_t>(last.width) + 2 * kBorder &&
           next.height == static_cast<int64_t>(last.height) + 2 * kBorder;
}

PictureSize LastDrawSize(PictureSize drawn) {
    return {drawn.width - 2 * kBorder, drawn.height - 2 * kBorder};
}
