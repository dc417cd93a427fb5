#pragma once
// The per-frame transforms of one conversion, taken from the form when the conversion starts and
// applied to every image in a fixed order (ApplyFrameTransforms in engine/ImageFile.h).

struct FrameTransform {
    int AVIScale = 0;             ///< 1: scale to AVIXScale x AVIXYcale
    int AVIXScale = 320;          ///< target width in pixels
    int AVIXYcale = 240;          ///< target height in pixels
    int ScaleType = 1;            ///< 0 slow/high quality, 1 fast/low quality
    int Flip = 0;                 ///< 1: turn the picture upside down
    int Mirror = 0;               ///< 1: exchange left and right
    int AVIRotate = 0;            ///< 1: rotate by AVIRotateAngle
    float AVIRotateAngle = 0.0f;  ///< degrees, positive turns clockwise on screen
    int UseBrightness = 0;        ///< 1: apply Brightness and Contrast
    int Brightness = 0;           ///< -255 to 255
    int Contrast = 100;           ///< percent, 0 to 512; 100 leaves the picture unchanged
};
