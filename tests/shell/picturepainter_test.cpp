// The picture painter: fit, border, the repaint rule, and files that do not decode.

#include "shell/PicturePainter.h"

#include <gtest/gtest.h>

#include "engine/FrameTransform.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

const PainterColours kColours{{10, 20, 30}, {1, 2, 3}, {250, 251, 252}};

std::array<uint8_t, 3> PixelAt(const PaintedPicture& picture, int x, int y) {
    const uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(PicturePainter, FitsTheImageInsideASunkenBorder) {
    TempDir dir;
    WriteBmp24(dir.file("wide.bmp"), 800, 400, SolidColor({200, 100, 50}));
    PicturePainter painter;
    painter.SetColours(kColours);
    painter.SetBoxSize(100, 100);
    PaintedPicture picture;
    ASSERT_TRUE(painter.Draw(dir.file("wide.bmp"), nullptr, picture));
    EXPECT_EQ(picture.width, 100);
    EXPECT_EQ(picture.height, 50);
    ASSERT_EQ(picture.rgb.size(), 100u * 50 * 3);
    using P = std::array<uint8_t, 3>;
    EXPECT_EQ(PixelAt(picture, 0, 0), (P{1, 2, 3}));         // top-left: dark shadow
    EXPECT_EQ(PixelAt(picture, 1, 30), (P{1, 2, 3}));
    EXPECT_EQ(PixelAt(picture, 99, 30), (P{250, 251, 252})); // right and bottom: highlight
    EXPECT_EQ(PixelAt(picture, 50, 49), (P{250, 251, 252}));
    // The picture itself fills 96 x 46 from (2, 2).
    EXPECT_EQ(PixelAt(picture, 2, 2), (P{200, 100, 50}));
    EXPECT_EQ(PixelAt(picture, 97, 47), (P{200, 100, 50}));
    EXPECT_EQ(painter.LastSize().width, 96);
    EXPECT_EQ(painter.LastSize().height, 46);
}

TEST(PicturePainter, RepaintsTheBoxOnlyForAPictureOfAnotherSize) {
    TempDir dir;
    WriteBmp24(dir.file("tall.bmp"), 40, 80, SolidColor({0, 0, 255}));
    WriteBmp24(dir.file("square.bmp"), 30, 30, SolidColor({0, 255, 0}));
    PicturePainter painter;
    painter.SetBoxSize(100, 60);
    PaintedPicture picture;
    ASSERT_TRUE(painter.Draw(dir.file("tall.bmp"), nullptr, picture));
    EXPECT_TRUE(picture.repaintBox);
    EXPECT_EQ(picture.width, 30);
    EXPECT_EQ(picture.height, 60);
    ASSERT_TRUE(painter.Draw(dir.file("tall.bmp"), nullptr, picture));
    EXPECT_FALSE(picture.repaintBox);
    ASSERT_TRUE(painter.Draw(dir.file("square.bmp"), nullptr, picture));
    EXPECT_TRUE(picture.repaintBox);
    EXPECT_EQ(picture.width, 60);
    EXPECT_EQ(picture.height, 60);

    // The transform record is applied before the fit: scaled to 50 x 10, the picture is wide.
    FrameTransform scale;
    scale.AVIScale = 1;
    scale.AVIXScale = 50;
    scale.AVIXYcale = 10;
    ASSERT_TRUE(painter.Draw(dir.file("square.bmp"), &scale, picture));
    EXPECT_EQ(picture.width, 100);
    EXPECT_EQ(picture.height, 20);
}

TEST(PicturePainter, AFileThatDoesNotDecodeDrawsNothing) {
    TempDir dir;
    WriteFileBytes(dir.file("broken.jpg"), "not a picture");
    PicturePainter painter;
    painter.SetBoxSize(100, 100);
    PaintedPicture picture;
    EXPECT_FALSE(painter.Draw(dir.file("broken.jpg"), nullptr, picture));
    EXPECT_FALSE(painter.Draw(dir.file("missing.jpg"), nullptr, picture));
    EXPECT_TRUE(picture.rgb.empty());
    EXPECT_EQ(painter.LastSize().width, 0);
}
