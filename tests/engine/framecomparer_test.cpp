#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/FrameComparer.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

namespace {

// An 8-bit gray picture of one level, as the comparer's own decode would be.
std::unique_ptr<CImageFile> GrayPicture(uint32_t width, uint32_t height, uint8_t level) {
    auto file = std::make_unique<CImageFile>();
    CPixImage picture(Bmp);
    EXPECT_NE(picture.Allocate(width, height, 8, Bmp), nullptr);
    picture.MakeGrayPalette();
    for (uint32_t y = 0; y < height; ++y)
        std::memset(picture.Row(y), level, picture.EffectiveWidth());
    file->Adopt("/virtual/gray.bmp", picture);
    return file;
}


}  // namespace

TEST(FrameComparer, DifferenceIsTheRootMeanSquareInPercent) {
    // Pure black after pure white: the full range.
    EXPECT_DOUBLE_EQ(CFrameComparer::Difference(*GrayPicture(7, 3, 0), *GrayPicture(7, 3, 255)), 100.0);
    EXPECT_DOUBLE_EQ(CFrameComparer::Difference(*GrayPicture(7, 3, 9), *GrayPicture(7, 3, 9)), 0.0);
    // One gray step is 100 / 255 percent.
    EXPECT_NEAR(CFrameComparer::Difference(*GrayPicture(5, 5, 10), *GrayPicture(5, 5, 11)), 100.0 / 255.0, 1e-12);

    // Half the pixels differ by 255: sqrt(255^2 / 2) in percent of 255. Rows are padded to four
    // bytes (width 6 -> 8); the padding never counts.
    auto a = GrayPicture(6, 2, 0);
    auto b = GrayPicture(6, 2, 0);
    std::memset(b->Row(1), 255, 6);
    std::memset(a->Row(0) + 6, 200, 2);
    EXPECT_NEAR(CFrameComparer::Difference(*a, *b), 100.0 / std::sqrt(2.0), 1e-9);
}

TEST(FrameComparer, ThresholdDecidesAndEqualKeeps) {
    CImageFile job;
    job.Load("/nonexistent/a.jpg");  // only its path matters to the comparer
    CFrameComparer comparer;
    EXPECT_EQ(comparer.Compare(job, 100.0, GrayPicture(4, 4, 255)), 1);  // first image: no reference
    EXPECT_EQ(comparer.Compare(job, 100.0, GrayPicture(4, 4, 0)), 1);    // difference 100 == threshold
    EXPECT_EQ(comparer.Compare(job, 1.0, GrayPicture(4, 4, 0)), 0);      // identical
    // A dropped image still becomes the reference: a slow ramp drops everything after the first
    // although first and last differ by 40 levels.
    CFrameComparer ramp;
    EXPECT_EQ(ramp.Compare(job, 1.0, GrayPicture(4, 4, 100)), 1);
    for (int level = 101; level <= 140; ++level)
        EXPECT_EQ(ramp.Compare(job, 1.0, GrayPicture(4, 4, static_cast<uint8_t>(level))), 0) << level;
    // An image of another size is always kept.
    EXPECT_EQ(ramp.Compare(job, 1.0, GrayPicture(5, 4, 140)), 1);
    // After Reset the next image is kept.
    ramp.Reset();
    EXPECT_EQ(ramp.Compare(job, 1.0, GrayPicture(5, 4, 140)), 1);
}

TEST(FrameComparer, LowThresholdsSwitchDetectionOffWithoutDecoding) {
    TempDir dir;
    std::string path = dir.file("same.jpg");
    WriteJpeg(path, 16, 16, Pattern(5));
    CImageFile job;
    job.Load(path);  // only its path matters to the comparer
    CFrameComparer comparer;
    for (double threshold : {0.0, 0.25, -3.0})
        EXPECT_EQ(comparer.Compare(job, threshold), 1);
    // Nothing became the reference: the next real comparison keeps its image too.
    std::filesystem::remove(path);
    EXPECT_EQ(comparer.Compare(job, 1.0, GrayPicture(16, 16, 3)), 1);
    EXPECT_EQ(comparer.Compare(job, 1.0, GrayPicture(16, 16, 3)), 0);
}

TEST(FrameComparer, DecodesTheFilesItselfUntransformed) {
    TempDir dir;
    WriteJpeg(dir.file("a.jpg"), 32, 24, Pattern(6));
    WriteJpeg(dir.file("b.jpg"), 32, 24, Pattern(6));
    WriteJpeg(dir.file("c.jpg"), 32, 24, SolidColor({255, 255, 255}));

    CFrameComparer comparer;
    CImageFile a;
    a.Load(dir.file("a.jpg"));  // only its path matters to the comparer
    CImageFile b;
    b.Load(dir.file("b.jpg"));  // only its path matters to the comparer
    CImageFile c;
    c.Load(dir.file("c.jpg"));  // only its path matters to the comparer
    // The job's own picture may be transformed in any way; the comparer does not look at it.
    b.AdjustLight(200, 300);
    EXPECT_EQ(comparer.Compare(a, 1.0), 1);
    EXPECT_EQ(comparer.Compare(b, 1.0), 0);  // the same pixels under another name
    EXPECT_EQ(comparer.Compare(c, 1.0), 1);

    // A file that no longer decodes is kept, and so is the one after it.
    WriteFileBytes(dir.file("a.jpg"), "garbage");
    EXPECT_EQ(comparer.Compare(a, 1.0), 1);
    EXPECT_EQ(comparer.Compare(c, 1.0), 1);
    EXPECT_EQ(comparer.Compare(c, 1.0), 0);
}
