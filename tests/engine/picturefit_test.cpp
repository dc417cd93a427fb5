#include <gtest/gtest.h>

#include "engine/PictureFit.h"

TEST(PictureFit, KeepsProportionsInTheBox) {
    struct Case {
        int32_t boxWidth, boxHeight;
        uint32_t imageWidth, imageHeight;
        int32_t width, height;
    };
    const Case cases[] = {
        {100, 100, 800, 400, 100, 50},
        {100, 100, 400, 800, 50, 100},
        {100, 20, 1000, 300, 66, 20},   // too tall at full width: 20 x 3.333 truncated
        {20, 100, 300, 1000, 20, 66},
        {100, 60, 500, 500, 60, 60},
        {60, 100, 1, 1, 60, 60},
        {100, 100, 3, 2, 100, 66},      // 100 / 1.5 truncated
        {0, 100, 800, 400, 0, 0},
        {100, 100, 0, 400, 0, 0},
        {100, 100, 400, 0, 0, 0},
        {-5, 100, 1, 1, 0, 0},
        {300, 200, 4000000000u, 1, 300, 0},
    };
    for (const Case& c : cases) {
        const PictureSize size = FitPicture(c.boxWidth, c.boxHeight, c.imageWidth, c.imageHeight);
        EXPECT_EQ(size.width, c.width) << c.imageWidth << "x" << c.imageHeight << " in " << c.boxWidth << "x" << c.boxHeight;
        EXPECT_EQ(size.height, c.height) << c.imageWidth << "x" << c.imageHeight << " in " << c.boxWidth << "x" << c.boxHeight;
    }
}

// Drawing the same picture twice needs no repaint in between; another size does.
TEST(PictureFit, RepaintRule) {
    const PictureSize drawn = FitPicture(100, 100, 800, 400);
    PictureSize last;
    EXPECT_FALSE(SameSizeAsLastDraw(last, drawn));
    last = LastDrawSize(drawn);
    EXPECT_EQ(last.width, 96);
    EXPECT_EQ(last.height, 46);
    EXPECT_TRUE(SameSizeAsLastDraw(last, drawn));
    EXPECT_FALSE(SameSizeAsLastDraw(last, FitPicture(100, 100, 400, 800)));
    EXPECT_FALSE(SameSizeAsLastDraw(last, PictureSize{100, 51}));
}
