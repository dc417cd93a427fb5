#include "shell/PicturePainter.h"

#include "engine/ImageFile.h"
#include "image/Paint.h"

namespace {

void FillRect(std::vector<uint8_t>& bgr, int32_t stride, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Rgb colour) {
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t* p = bgr.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x0) * 3;
        for (int32_t x = x0; x < x1; ++x, p += 3) {
            p[0] = colour.blue;
            p[1] = colour.green;
            p[2] = colour.red;
        }
    }
}

// The sunken border: the top and left edges in the dark shadow, the bottom and right edges in the
// highlight, each kPictureBorder pixels wide. Where they meet at the top-right and bottom-left
// corners the highlight is drawn last.
void DrawSunkenBorder(std::vector<uint8_t>& bgr, int32_t width, int32_t height, const PainterColours& colours) {
    const int32_t stride = width * 3;
    const int32_t b = kPictureBorder;
    FillRect(bgr, stride, 0, 0, width, b, colours.darkShadow);
    FillRect(bgr, stride, 0, 0, b, height, colours.darkShadow);
    FillRect(bgr, stride, 0, height - b, width, height, colours.highlight);
    FillRect(bgr, stride, width - b, 0, width, height, colours.highlight);
}

}  // namespace

void PicturePainter::SetBoxSize(int32_t width, int32_t height) {
    boxWidth_ = width;
    boxHeight_ = height;
}

void PicturePainter::SetColours(const PainterColours& colours) {
    std::lock_guard<std::mutex> lock(mutex_);
    colours_ = colours;
}

PictureSize PicturePainter::LastSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

bool PicturePainter::Draw(const std::string& path, const FrameTransform* transform, PaintedPicture& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Every draw decodes the file afresh; nothing decoded is kept from one draw to the next.
    CImageFile image;
    if (!image.Load(path))
        return false;
    ApplyFrameTransforms(image, transform);
    const PictureSize size = FitPicture(boxWidth_, boxHeight_, image.Width(), image.Height());
    if (size.width <= 2 * kPictureBorder || size.height <= 2 * kPictureBorder)
        return false;

    out.width = size.width;
    out.height = size.height;
    out.repaintBox = !SameSizeAsLastDraw(last_, size);
    last_ = LastDrawSize(size);

    // The picture is painted over the box's background, which a transparent or translucent
    // image shows through.
    std::vector<uint8_t> bgr(static_cast<size_t>(size.width) * size.height * 3);
    FillRect(bgr, size.width * 3, 0, 0, size.width, size.height, colours_.background);
    DrawSunkenBorder(bgr, size.width, size.height, colours_);
    PaintSurface surface;
    surface.pixels = bgr.data();
    surface.width = size.width;
    surface.height = size.height;
    surface.stride = size.width * 3;
    PaintTo(image.Image(), surface, kPictureBorder, kPictureBorder, size.width - 2 * kPictureBorder,
            size.height - 2 * kPictureBorder);

    out.rgb.resize(bgr.size());
    for (size_t i = 0; i < bgr.size(); i += 3) {
        out.rgb[i] = bgr[i + 2];
        out.rgb[i + 1] = bgr[i + 1];
        out.rgb[i + 2] = bgr[i];
    }
    return true;
}
