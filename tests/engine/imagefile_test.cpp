#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/ImageFile.h"
#include "support/TempDir.h"
#include "support/TestImages.h"

TEST(ImageFile, LoadPicksTheDecoderByExtensionIgnoringCase) {
    TempDir dir;
    std::string path = dir.file("PHOTO.JPG");
    WriteJpeg(path, 40, 30, Pattern(1));

    CImageFile image;
    ASSERT_EQ(image.Load(path), 1) << image.Image().LastError();
    EXPECT_EQ(image.Name(), "PHOTO.JPG");
    EXPECT_EQ(image.Path(), path);
    EXPECT_EQ(image.Width(), 40u);
    EXPECT_EQ(image.Height(), 30u);
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(image.Image().Type(), Jpeg);
    EXPECT_EQ(image.Header().biWidth, 40);
    ASSERT_NE(image.HeaderRecord(), nullptr);
    EXPECT_EQ(image.DibSize(), 40u + 120u * 30u);
    EXPECT_EQ(image.Row(1), image.PixelBits() + 120);
    EXPECT_EQ(image.Row(30), nullptr);
    EXPECT_STREQ(image.FormatName(), "JPEG - JFIF Compliant");
}

TEST(ImageFile, ExtensionsOutsideTheTableAreNotLoaded) {
    TempDir dir;
    CImageFile image;
    for (const char* name : {"noextension", "photo.jif", "photo.pbm", "photo.jpg.txt"}) {
        SCOPED_TRACE(name);
        // A real JPEG under the wrong name: the extension alone decides.
        WriteJpeg(dir.file(name), 8, 8, Pattern(2));
        EXPECT_EQ(image.Load(dir.file(name)), 0);
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_EQ(image.Name(), name);
        EXPECT_EQ(image.Width(), 0u);
        EXPECT_EQ(image.DibSize(), 0u);
        EXPECT_EQ(image.PixelBits(), nullptr);
        EXPECT_EQ(image.HeaderRecord(), nullptr);
        EXPECT_EQ(image.ScaleTo(4, 4, 1), 0);
        EXPECT_EQ(image.FlipVertical(), 0);
    }
}

TEST(ImageFile, FailedLoadEmptiesAPreviousPicture) {
    TempDir dir;
    WriteJpeg(dir.file("good.jpg"), 16, 16, Pattern(3));
    WriteFileBytes(dir.file("bad.jpg"), "this is not a JPEG");
    WriteFileBytes(dir.file("empty.jpg"), "");

    CImageFile image;
    ASSERT_EQ(image.Load(dir.file("good.jpg")), 1);
    EXPECT_EQ(image.Load(dir.file("bad.jpg")), 0);
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Name(), "bad.jpg");
    EXPECT_EQ(image.Load(dir.file("empty.jpg")), 0);
    EXPECT_EQ(image.Load(dir.file("missing.jpg")), 0);
    EXPECT_EQ(image.Load(dir.path().string() + "/"), 0);  // a folder, no name
}

TEST(ImageFile, PathsLongerThanTheOldFieldsStillLoad) {
    TempDir dir;
    std::string folder = dir.path().string();
    while (folder.size() < 300)
        folder += "/" + std::string(60, 'd');
    std::filesystem::create_directories(folder);
    std::string path = folder + "/" + std::string(240, 'n') + ".jpg";
    WriteJpeg(path, 8, 8, Pattern(4));

    CImageFile image;
    EXPECT_EQ(image.Load(path), 1);
    EXPECT_EQ(image.Path(), path);
    EXPECT_EQ(image.Name(), std::string(240, 'n') + ".jpg");
}

TEST(ImageFile, FormatNamesFollowTheExtensionOfTheName) {
    struct Case {
        const char* name;
        const char* format;
    };
    const Case cases[] = {
        {"a.bmp", "Windows BMP Format"},
        {"a.JPG", "JPEG - JFIF Compliant"},
        {"a.jpeg", "JPEG - JFIF Compliant"},
        {"a.gif", "Compuserve Graphics Interchange Format GIF"},
        {"a.png", "Portable Network Graphics"},
        {"a.ico", "Windows Icon Format"},
        {"a.tif", "Tagged Image File Format"},
        {"a.tiff", "Tagged Image File Format"},
        {"a.tga", "Truevision Targa"},
        {"a.pcx", "Paint Brush PCX"},
        {"a.xyz", "Unidentified bitmap type"},
        {"noext", "Unidentified bitmap type"},
    };
    CImageFile image;
    for (const Case& c : cases) {
        // The name is remembered even when the file does not exist.
        image.Load(std::string("/nonexistent/") + c.name);
        EXPECT_STREQ(image.FormatName(), c.format) << c.name;
    }
}

namespace {

// A 24-bit picture whose every pixel holds its own coordinates, adopted as if loaded.
void MakeCoordinatePicture(CImageFile& file, uint32_t width, uint32_t height) {
    CPixImage picture(Bmp);
    ASSERT_NE(picture.Allocate(width, height, 24, Bmp), nullptr);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            picture.StoreColor(x, y, RGBQUAD{static_cast<BYTE>(x), static_cast<BYTE>(y), 77, 0});
    file.Adopt("/virtual/coords.bmp", picture);
}

}  // namespace

TEST(ImageFile, TransformsRunInTheirFixedOrder) {
    CImageFile image;
    FrameTransform transform;

    // No record: nothing happens.
    MakeCoordinatePicture(image, 8, 4);
    ApplyFrameTransforms(image, nullptr);
    EXPECT_EQ(image.Width(), 8u);

    // Scale first, then rotate: the frame is the rotated canvas of the scaled picture.
    transform.AVIScale = 1;
    transform.AVIXScale = 6;
    transform.AVIXYcale = 2;
    transform.AVIRotate = 1;
    transform.AVIRotateAngle = 90.0f;
    ApplyFrameTransforms(image, &transform);
    EXPECT_EQ(image.Width(), 2u);
    EXPECT_EQ(image.Height(), 6u);

    // Scaling to the current size changes nothing.
    MakeCoordinatePicture(image, 8, 4);
    transform = FrameTransform{};
    transform.AVIScale = 1;
    transform.AVIXScale = 8;
    transform.AVIXYcale = 4;
    ApplyFrameTransforms(image, &transform);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            ASSERT_EQ(image.Image().PixelColor(x, y).rgbBlue, x);

    // Flip turns the rows over; mirror exchanges the columns.
    transform = FrameTransform{};
    transform.Flip = 1;
    transform.Mirror = 1;
    ApplyFrameTransforms(image, &transform);
    EXPECT_EQ(image.Image().PixelColor(0, 0).rgbBlue, 7);
    EXPECT_EQ(image.Image().PixelColor(0, 0).rgbGreen, 3);

    // Brightness 0 with contrast 100 leaves every pixel; contrast 0 gives brightness + 128.
    MakeCoordinatePicture(image, 8, 4);
    transform = FrameTransform{};
    transform.UseBrightness = 1;
    ApplyFrameTransforms(image, &transform);
    EXPECT_EQ(image.Image().PixelColor(5, 2).rgbBlue, 5);
    EXPECT_EQ(image.Image().PixelColor(5, 2).rgbRed, 77);
    transform.Brightness = 20;
    transform.Contrast = 0;
    ApplyFrameTransforms(image, &transform);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            ASSERT_EQ(image.Image().PixelColor(x, y).rgbGreen, 148);
}
