#pragma once
// How a picture box fits an image: the drawn size keeping the image's proportions, and whether
// the box must repaint its background before the next draw.

#include <cstdint>

struct PictureSize {
    int32_t width = 0;
    int32_t height = 0;
};

/// The drawn size of a w x h picture in a box of W x H (border included), anchored top-left.
PictureSize FitPicture(int32_t boxWidth, int32_t boxHeight, uint32_t imageWidth, uint32_t imageHeight);

/// The repaint rule: true when the box need not repaint before drawing `next` after a draw whose
/// stored last size is `last` (next exceeds last by exactly 4 in both sides). The caller stores
/// next minus 4 in each side as the new last size.
bool SameSizeAsLastDraw(PictureSize last, PictureSize next);

/// The size a painter stores after drawing at `drawn`: the picture inside its 2-pixel border.
PictureSize LastDrawSize(PictureSize drawn);
