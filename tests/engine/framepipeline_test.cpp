#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/FrameComparer.h"
#include "engine/FramePipeline.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

using namespace std::chrono_literals;

namespace {

std::string Bytes(const CPixImage& picture) {
    if (!picture.IsValid())
        return {};
    return std::string(reinterpret_cast<const char*>(picture.Block()), picture.DibSize());
}

class FramePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 9; ++i) {
            std::string path = dir.file(NumberedName("f", i, ".jpg"));
            if (i == 4)
                WriteFileBytes(path, "broken");
            else
                WriteJpeg(path, 48 + 8 * static_cast<uint32_t>(i % 3), 32, Pattern(static_cast<uint32_t>(i)));
            paths.push_back(path);
        }
        transform.AVIScale = 1;
        transform.AVIXScale = 40;
        transform.AVIXYcale = 30;
        transform.Mirror = 1;
        transform.UseBrightness = 1;
        transform.Brightness = 10;
    }

    TempDir dir;
    std::vector<std::string> paths;
    FrameTransform transform;
};

}  // namespace

TEST_F(FramePipelineTest, EveryHelperCountGivesTheSamePicturesInOrder) {
    std::vector<std::string> expected;
    std::vector<std::string> expectedGray;
    for (const std::string& path : paths) {
        PreparedImage one;
        PrepareImage(path, transform, true, nullptr, one);
        expected.push_back(Bytes(one.picture));
        expectedGray.push_back(one.gray ? Bytes(one.gray->Image()) : "");
    }
    EXPECT_TRUE(expected[4].empty());

    for (int helpers : {0, 1, 2, 3}) {
        SCOPED_TRACE(helpers);
        CFramePipeline pipeline(paths, transform, true, helpers);
        for (size_t i = 0; i < paths.size(); ++i) {
            std::unique_ptr<PreparedImage> image = pipeline.Take(i);
            EXPECT_EQ(image->loaded, i == 4 ? 0 : 1);
            EXPECT_EQ(Bytes(image->picture), expected[i]) << i;
            EXPECT_EQ(image->gray ? Bytes(image->gray->Image()) : "", expectedGray[i]) << i;
        }
        EXPECT_EQ(pipeline.Take(paths.size())->loaded, 0);
    }
}

TEST_F(FramePipelineTest, GrayDecodeIsTheComparersOwn) {
    PreparedImage prepared;
    PrepareImage(paths[1], transform, true, nullptr, prepared);
    ASSERT_TRUE(prepared.gray);
    CImageFile own;
    ASSERT_TRUE(own.Load(paths[1]));
    own.Image().ToGray();
    EXPECT_EQ(Bytes(prepared.gray->Image()), Bytes(own.Image()));
    EXPECT_EQ(prepared.gray->Path(), paths[1]);
    // Without the detection nothing extra is made.
    PreparedImage plain;
    PrepareImage(paths[1], transform, false, nullptr, plain);
    EXPECT_FALSE(plain.gray);
}

TEST_F(FramePipelineTest, LookAheadIsBoundedAndSkippedImagesAreDropped) {
    CFramePipeline pipeline(paths, transform, false, 2);
    auto first = pipeline.Take(0);
    std::this_thread::sleep_for(300ms);
    // Two helpers may be one image ahead each, plus one: never the whole list.
    EXPECT_LE(pipeline.ReadyCount(), 3u);
    auto later = pipeline.Take(6);
    PreparedImage direct;
    PrepareImage(paths[6], transform, false, nullptr, direct);
    EXPECT_EQ(Bytes(later->picture), Bytes(direct.picture));
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(pipeline.ReadyCount(), 2u);  // 7 and 8 at most
}
