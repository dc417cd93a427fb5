#include "engine/FormValues.h"

#include "config/Settings.h"

FormValues FormValues::FromSettings(const Settings& settings) {
    FormValues form;
    form.AVIScale = settings.AVIScale;
    form.AVIXScale = settings.AVIXScale;
    form.AVIXYcale = settings.AVIXYcale;
    form.AVIRotate = settings.AVIRotate;
    form.AVIRotateAngle = settings.AVIRotateAngle;
    form.AVIFrameTime = settings.AVIFrameTime;
    form.AVIStyle = settings.AVIStyle;
    form.Flip = settings.Flip;
    form.Mirror = settings.Mirror;
    form.UseFrameTime = settings.UseFrameTime;
    form.Brightness = settings.Brightness;
    form.Contrast = settings.Contrast;
    form.UseBrightness = settings.UseBrightness;
    return form;
}

void FormValues::Store() const {
    WriteSettingInt("Config", "AVIScale", AVIScale);
    WriteSettingInt("Config", "AVIXScale", AVIXScale);
    WriteSettingInt("Config", "AVIXYcale", AVIXYcale);
    WriteSettingInt("Config", "AVIRotate", AVIRotate);
    WriteSettingInt("Config", "AVIRotateAngle", AVIRotateAngle);
    WriteSettingInt("Config", "AVIFrameTime", AVIFrameTime);
    WriteSettingInt("Config", "AVIStyle", AVIStyle);
    WriteSettingInt("Config", "Flip", Flip);
    WriteSettingInt("Config", "Mirror", Mirror);
    WriteSettingInt("Config", "UseFrameTime", UseFrameTime);
    WriteSettingInt("Config", "Brightness", Brightness);
    WriteSettingInt("Config", "Contrast", Contrast);
    WriteSettingInt("Config", "UseBrightness", UseBrightness);
}
