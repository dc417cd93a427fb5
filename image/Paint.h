#pragma once
// PaintTo: draws a CPixImage on a 24-bit surface in memory, honouring transparency, the alpha
// plane and palette opacity by blending over what the surface holds, and stretching by nearest
// neighbour. The window blits the surface to the screen; the maths needs no display.

#include <cstddef>
#include <cstdint>

#include "base/DibTypes.h"
#include "image/PixImage.h"

struct PaintSurface {            // a 24-bit device: rows top-down, 3 bytes a pixel in B, G, R order
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    ptrdiff_t stride = 0;        // bytes from one row to the next
    RECT clip{};                 // the device's clip box; empty (all 0) means the whole surface
};

/// Draws the image at (x, y) with size w x h (w or h < 0: the image's own size) on the surface,
/// optionally clipped further to *clip. 1 when something was drawn, 0 otherwise.
///
/// 0 means nothing was attempted: an empty image, a surface without pixels, a zero side or an
/// image whose enabled flag is cleared. Once drawing starts the result is 1, even when the
/// visible part turns out empty.
int PaintTo(const CPixImage& image, PaintSurface& device, int32_t x, int32_t y, int32_t w, int32_t h,
            const RECT* clip = nullptr);
