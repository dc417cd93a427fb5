#include "image/Paint.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/DibRows.h"

namespace {

constexpr uint32_t kOpaque = 255;

// A rectangle in 64 bits, so that x + w and the clamping below never overflow.
struct Box {
    int64_t left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
};

Box Intersect(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

Box FromRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// The clip box in force while drawing: the device's own clip box (the whole surface when it has
// none, and never more than the surface), narrowed by the caller's rectangle. The device's own
// clip box is left as it was, so nothing needs restoring afterwards.
Box ClipBox(const PaintSurface& device, const RECT* clip) {
    Box box{0, 0, device.width, device.height};
    const RECT& own = device.clip;
    if (own.left != 0 || own.top != 0 || own.right != 0 || own.bottom != 0)
        box = Intersect(box, FromRect(own));
    if (clip)
        box = Intersect(box, FromRect(*clip));
    return box;
}

// Each edge of the drawn rectangle clamped into the clip box.
Box VisibleBox(const Box& clip, int64_t x, int64_t y, int64_t w, int64_t h) {
    return {std::clamp(x, clip.left, clip.right), std::clamp(y, clip.top, clip.bottom),
            std::clamp(x + w, clip.left, clip.right), std::clamp(y + h, clip.top, clip.bottom)};
}

uint32_t Packed(RGBQUAD color) {
    uint32_t value;
    std::memcpy(&value, &color, sizeof value);
    return value;
}

// What the pixel loop needs to know about the image, read once per call.
struct Source {
    explicit Source(const CPixImage& image)
        : width(image.Width()),
          height(image.Height()),
          bitCount(image.BitsPerPixel()),
          alpha(image.AlphaPlane()),
          alphaMax(image.Info().alphaMax),
          alphaPalette(image.Info().alphaPaletteEnabled),
          transparency(image.Info().backgroundIndex != -1),
          transparentColor(Packed(image.TransparentColor())),
          reserved24(image.Info().backgroundColor.rgbReserved),
          image_(image) {
        // Indices beyond the palette read as all zero, as PaletteEntry gives them.
        for (uint32_t i = 0; i < 256; ++i)
            palette[i] = image.PaletteEntry(static_cast<uint8_t>(i));
    }

    bool Paletted() const { return bitCount < 24; }
    /// Transparency, an alpha plane or palette opacity: the picture is blended over the device.
    bool Blended() const { return transparency || alpha != nullptr || alphaPalette; }
    const uint8_t* Row(uint32_t row) const { return image_.Row(row); }
    const uint8_t* AlphaRow(uint32_t row) const { return alpha ? alpha + static_cast<size_t>(row) * width : nullptr; }

    // A true-colour pixel carries the background colour's reserved byte, as PixelColor gives it,
    // so that comparing it with the transparent colour compares the colour alone.
    RGBQUAD ColorAt(const uint8_t* row, uint32_t column) const {
        if (Paletted())
            return palette[dib::IndexAt(row, column, bitCount)];
        const uint8_t* p = row + 3 * static_cast<size_t>(column);
        return RGBQUAD{p[0], p[1], p[2], reserved24};
    }

    uint32_t width;
    uint32_t height;
    uint32_t bitCount;
    const uint8_t* alpha;
    uint32_t alphaMax;
    bool alphaPalette;
    bool transparency;
    uint32_t transparentColor;
    uint8_t reserved24;
    RGBQUAD palette[256];

private:
    const CPixImage& image_;
};

// Image column for each visible device column: c - x at the image's own size, otherwise
// floor((c - x) * fx) with the single-precision factor fx = image width / w. The last column is
// a bound: a factor rounded up could otherwise point one column past the row.
std::vector<uint32_t> ColumnMap(const Box& visible, int64_t x, int64_t w, uint32_t imageWidth, bool scaled) {
    const float fx = static_cast<float>(imageWidth) / static_cast<float>(w);
    std::vector<uint32_t> columns;
    columns.reserve(static_cast<size_t>(visible.right - visible.left));
    for (int64_t c = visible.left; c < visible.right; ++c) {
        int64_t column = scaled ? static_cast<int64_t>(std::floor(static_cast<float>(c - x) * fx)) : c - x;
        columns.push_back(static_cast<uint32_t>(std::min<int64_t>(column, imageWidth - 1)));
    }
    return columns;
}

// Stored image row (counted from the bottom) for device row d: at the image's own size the
// picture's row d - y from the top; otherwise height - ceil((d + 1 - y) * fy), and 0 when that
// is negative, fy = image height / h in single precision.
uint32_t ImageRow(int64_t d, int64_t y, uint32_t height, float fy, bool scaled) {
    if (!scaled)
        return static_cast<uint32_t>(height - 1 - (d - y));
    const int64_t row = height - static_cast<int64_t>(std::ceil(static_cast<float>(d + 1 - y) * fy));
    return static_cast<uint32_t>(row < 0 ? 0 : row);
}

uint8_t Mix(uint8_t source, uint8_t device, uint32_t opacity) {
    return static_cast<uint8_t>((source * opacity + device * (kOpaque - opacity)) / 256);
}

void CopyRow(const Source& source, uint32_t row, const std::vector<uint32_t>& columns, bool scaled, uint8_t* out) {
    const uint8_t* pixels = source.Row(row);
    if (!scaled && !source.Paletted()) {
        std::memcpy(out, pixels + 3 * static_cast<size_t>(columns.front()), 3 * columns.size());
        return;
    }
    for (uint32_t column : columns) {
        const RGBQUAD color = source.ColorAt(pixels, column);
        out[0] = color.rgbBlue;
        out[1] = color.rgbGreen;
        out[2] = color.rgbRed;
        out += 3;
    }
}

void BlendRow(const Source& source, uint32_t row, const std::vector<uint32_t>& columns, uint8_t* out) {
    const uint8_t* pixels = source.Row(row);
    const uint8_t* alpha = source.AlphaRow(row);
    for (uint32_t column : columns) {
        const RGBQUAD color = source.ColorAt(pixels, column);
        uint32_t opacity = alpha ? alpha[column] : kOpaque;
        opacity = opacity * (source.alphaMax + 1) / 256;
        if (source.alphaPalette && source.Paletted())
            opacity = opacity * (color.rgbReserved + 1u) / 256;
        const bool transparent = source.transparency && Packed(color) == source.transparentColor;
        if (!transparent && opacity == kOpaque) {
            out[0] = color.rgbBlue;
            out[1] = color.rgbGreen;
            out[2] = color.rgbRed;
        } else if (!transparent && opacity != 0) {
            out[0] = Mix(color.rgbBlue, out[0], opacity);
            out[1] = Mix(color.rgbGreen, out[1], opacity);
            out[2] = Mix(color.rgbRed, out[2], opacity);
        }
        out += 3;
    }
}

}  // namespace

int PaintTo(const CPixImage& image, PaintSurface& device, int32_t x, int32_t y, int32_t w, int32_t h,
            const RECT* clip) {
    if (!image.IsValid() || !device.pixels || w == 0 || h == 0 || !image.Info().enabled)
        return 0;
    const int64_t width = w < 0 ? image.Width() : w;
    const int64_t height = h < 0 ? image.Height() : h;
    const Box clipBox = ClipBox(device, clip);
    if (clipBox.Empty())
        return 1;
    const Box visible = VisibleBox(clipBox, x, y, width, height);
    if (visible.Empty())
        return 1;

    // Three ways of drawing: an opaque picture at its own size is copied, an opaque one at another
    // size is stretched, and one with transparency or opacity is blended over what the device
    // shows. The first two give the same pixels as a plain copy through the mapping below.
    const Source source(image);
    const bool scaled = width != image.Width() || height != image.Height();
    const std::vector<uint32_t> columns = ColumnMap(visible, x, width, source.width, scaled);
    const float fy = static_cast<float>(source.height) / static_cast<float>(height);
    for (int64_t d = visible.top; d < visible.bottom; ++d) {
        const uint32_t row = ImageRow(d, y, source.height, fy, scaled);
        uint8_t* out = device.pixels + d * device.stride + 3 * visible.left;
        if (source.Blended())
            BlendRow(source, row, columns, out);
        else
            CopyRow(source, row, columns, scaled, out);
    }
    return 1;
}
