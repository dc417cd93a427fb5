#include <gtest/gtest.h>

#include "config/Settings.h"
#include "engine/FormValues.h"
#include "engine/FrameTransform.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"

// Every form value takes its own setting, goes to its own transform value and is stored under
// its own key: distinct numbers show a crossed wire.
TEST(FormValues, SettingsFormTransformAndStoreKeepEachValueApart) {
    TempDir dir;
    IniScope ini(dir.file("pixreel.ini"), "");
    Settings settings;
    settings.AVIScale = 1;
    settings.AVIXScale = 2;
    settings.AVIXYcale = 3;
    settings.AVIRotate = 4;
    settings.AVIRotateAngle = 5;
    settings.AVIFrameTime = 6;
    settings.AVIStyle = 7;
    settings.Flip = 8;
    settings.Mirror = 9;
    settings.UseFrameTime = 10;
    settings.Brightness = 11;
    settings.Contrast = 12;
    settings.UseBrightness = 13;
    const FormValues form = FormValues::FromSettings(settings);

    const FrameTransform transform = form.Transform(14);
    EXPECT_EQ(transform.AVIScale, 1);
    EXPECT_EQ(transform.AVIXScale, 2);
    EXPECT_EQ(transform.AVIXYcale, 3);
    EXPECT_EQ(transform.AVIRotate, 4);
    EXPECT_EQ(transform.AVIRotateAngle, 5.0f);
    EXPECT_EQ(transform.Flip, 8);
    EXPECT_EQ(transform.Mirror, 9);
    EXPECT_EQ(transform.Brightness, 11);
    EXPECT_EQ(transform.Contrast, 12);
    EXPECT_EQ(transform.UseBrightness, 13);
    EXPECT_EQ(transform.ScaleType, 14);

    form.Store();
    EXPECT_EQ(ReadFileBytes(ini.path()),
              "[Config]\nAVIScale=1\nAVIXScale=2\nAVIXYcale=3\nAVIRotate=4\nAVIRotateAngle=5\nAVIFrameTime=6\n"
              "AVIStyle=7\nFlip=8\nMirror=9\nUseFrameTime=10\nBrightness=11\nContrast=12\nUseBrightness=13\n");
}
