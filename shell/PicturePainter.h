#pragma once
// The painter of one picture box: loads an image file, applies an optional transform record,
// fits the picture into the box keeping its proportions and paints it with a sunken border into
// a pixel buffer that the window puts on the screen. Draws may come from any thread; the draws of
// one painter are serialised, and the stored size of the last draw decides whether the box must
// repaint its own background first. Nothing here needs a window.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/PictureFit.h"

struct FrameTransform;

/// A picture ready for the box: border and image, anchored at the box's top-left corner.
struct PaintedPicture {
    int32_t width = 0;            ///< drawn size, border included
    int32_t height = 0;
    std::vector<uint8_t> rgb;     ///< rows top-down, 3 bytes a pixel in R, G, B order, no padding
    bool repaintBox = true;       ///< the box paints its background and caption before the picture
};

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
};

/// The colours of the box: its background (what a blended picture shows through to) and the two
/// colours of the sunken border.
struct PainterColours {
    Rgb background{255, 255, 255};
    Rgb darkShadow{0, 0, 0};
    Rgb highlight{255, 255, 255};
};

class PicturePainter {
public:
    /// The box's outer size in pixels; may be set from any thread.
    void SetBoxSize(int32_t width, int32_t height);
    void SetColours(const PainterColours& colours);

    /// Loads the file, applies the transforms (none for nullptr), fits and paints. False, with
    /// nothing painted and the stored size unchanged, when the file does not load or the box has
    /// no room.
    bool Draw(const std::string& path, const FrameTransform* transform, PaintedPicture& out);

    /// The stored size of the last draw (the picture inside its border).
    PictureSize LastSize() const;

private:
    std::atomic<int32_t> boxWidth_{0};
    std::atomic<int32_t> boxHeight_{0};
    mutable std::mutex mutex_;  // one draw at a time; guards colours_ and last_
    PainterColours colours_;
    PictureSize last_{};
};

/// The pixel width of the border on each side of a painted picture.
inline constexpr int32_t kPictureBorder = 2;
