#pragma once
// The values of the main form's transform controls as the view holds them: filled from the
// settings at start-up, read from the controls when a conversion starts and when the program
// closes, and stored in the INI file at the close.

struct FrameTransform;
struct Settings;

struct FormValues {
    int AVIScale = 0;
    int AVIXScale = 320;
    int AVIXYcale = 240;
    int AVIRotate = 0;
    int AVIRotateAngle = 0;  ///< whole degrees
    int AVIFrameTime = 0;    ///< milliseconds
    int AVIStyle = 1;        ///< 0 one AVI per image, 1 one AVI for all images
    int Flip = 0;
    int Mirror = 0;
    int UseFrameTime = 0;
    int Brightness = 0;
    int Contrast = 100;
    int UseBrightness = 0;

    /// The form as the settings fill it at start-up.
    static FormValues FromSettings(const Settings& settings);
    /// Stores every value with WriteSettingInt in section "Config", in the order of the fields
    /// (nothing is written while the process has command-line arguments).
    void Store() const;
    /// The frame transforms of a conversion started with these values; the scale type is a
    /// setting of its own, not a form value.
    FrameTransform Transform(int scaleType) const;
};
