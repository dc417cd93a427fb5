#include "shell/FormLayout.h"

#include <climits>

namespace {

using FC = FormControl;
using CK = ControlKind;

constexpr const char* kScaleTip = "Scale factor";
constexpr const char* kRotateTip = "Rotate the bitmap";
constexpr const char* kFrameTimeTip = "The time to display each frame for";
constexpr const char* kBrightnessTip = "Change the bitmap brightness/contrast";

constexpr unsigned kMoveRight = kAnchorMoveX;

// The form of 361 x 256 dialog units. The radio buttons both edit AVIStyle: the first one stands
// for 0 (one AVI per image), the second for 1 (one AVI for all images).
constexpr FormControlSpec kControls[] = {
    {FC::FileList, CK::FileList, {7, 7, 103, 170}, "", "The bitmap files to process", nullptr, FC::None, kAnchorSizeY},
    {FC::PreviewLabel, CK::Label, {128, 8, 40, 8}, "Preview", nullptr, nullptr, FC::None, kAnchorStay},
    {FC::PreviewBox, CK::PictureBox, {128, 19, 48, 48}, "   Preview", "The currently selected bitmap", nullptr, FC::None,
     kAnchorStay},
    {FC::VideoLabel, CK::Label, {128, 66, 49, 8}, "Video image", nullptr, nullptr, FC::None, kAnchorStay},
    {FC::VideoBox, CK::PictureBox, {128, 81, 96, 96}, "   Video", "The new AVI file", nullptr, FC::None,
     kAnchorSizeX | kAnchorSizeY},
    {FC::AviIndicator, CK::IconBox, {182, 59, 20, 20}, "", "Shows if AVI file is open", nullptr, FC::None, kMoveRight},
    {FC::ActivityIndicator, CK::IconBox, {209, 58, 20, 20}, "", nullptr, nullptr, FC::None, kMoveRight},
    {FC::UniqueAvi, CK::RadioFirst, {188, 15, 70, 10}, "&Unique AVI files", "One AVI file per bitmap file",
     &FormValues::AVIStyle, FC::None, kMoveRight},
    {FC::SingleAvi, CK::Radio, {188, 31, 66, 10}, "&Single AVI file", "One AVI file for all bitmap files",
     &FormValues::AVIStyle, FC::None, kMoveRight},
    {FC::Scale, CK::CheckBox, {276, 11, 44, 10}, "&Scale", kScaleTip, &FormValues::AVIScale, FC::None, kMoveRight},
    {FC::ScaleWidth, CK::DigitsEdit, {275, 26, 26, 14}, "", kScaleTip, &FormValues::AVIXScale, FC::Scale, kMoveRight},
    {FC::ScaleTimes, CK::Label, {304, 31, 8, 8}, "x", nullptr, nullptr, FC::None, kMoveRight},
    {FC::ScaleHeight, CK::DigitsEdit, {313, 26, 26, 14}, "", kScaleTip, &FormValues::AVIXYcale, FC::Scale, kMoveRight},
    {FC::Flip, CK::CheckBox, {246, 59, 36, 10}, "F&lip", "Flip the bitmap along the X axis", &FormValues::Flip,
     FC::None, kMoveRight},
    {FC::Mirror, CK::CheckBox, {317, 59, 33, 10}, "&Mirror", "Mirror the bitmap along the Y axis",
     &FormValues::Mirror, FC::None, kMoveRight},
    {FC::Rotate, CK::CheckBox, {246, 82, 36, 10}, "R&otate", kRotateTip, &FormValues::AVIRotate, FC::None, kMoveRight},
    {FC::RotateLabel, CK::Label, {291, 83, 21, 8}, "&Rotate", nullptr, nullptr, FC::None, kMoveRight},
    {FC::RotateAngle, CK::DigitsEdit, {315, 78, 20, 14}, "", kRotateTip, &FormValues::AVIRotateAngle, FC::Rotate,
     kMoveRight},
    {FC::UseFrameTime, CK::CheckBox, {246, 105, 74, 10}, "&Use Frame Time", kFrameTimeTip, &FormValues::UseFrameTime,
     FC::None, kMoveRight},
    {FC::FrameTimeLabel, CK::Label, {242, 120, 38, 8}, "Frame Time", nullptr, nullptr, FC::None, kMoveRight},
    {FC::FrameTime, CK::DigitsEdit, {281, 117, 27, 14}, "", kFrameTimeTip, &FormValues::AVIFrameTime,
     FC::UseFrameTime, kMoveRight},
    {FC::MilliSecondsLabel, CK::Label, {309, 120, 40, 8}, "milli seconds", nullptr, nullptr, FC::None, kMoveRight},
    {FC::UseBrightness, CK::CheckBox, {246, 143, 96, 10}, "Use Bri&ghtness/Contrast", kBrightnessTip,
     &FormValues::UseBrightness, FC::None, kMoveRight},
    {FC::BrightnessLabel, CK::Label, {242, 158, 43, 8}, "&Brightness", nullptr, nullptr, FC::None, kMoveRight},
    {FC::Brightness, CK::Slider, {284, 158, 59, 15}, "", kBrightnessTip, &FormValues::Brightness, FC::UseBrightness,
     kMoveRight},
    {FC::ContrastLabel, CK::Label, {242, 174, 43, 8}, "&Contrast", nullptr, nullptr, FC::None, kMoveRight},
    {FC::Contrast, CK::Slider, {284, 174, 59, 15}, "", kBrightnessTip, &FormValues::Contrast, FC::UseBrightness,
     kMoveRight},
    {FC::StatusLog, CK::StatusLog, {3, 195, 354, 53}, "", "Status display/error log", nullptr, FC::None,
     kAnchorMoveY | kAnchorSizeX},
    {FC::ScaleGroup, CK::GroupBox, {265, 5, 88, 44}, "", nullptr, nullptr, FC::None, kMoveRight},
    {FC::TransformGroup, CK::GroupBox, {233, 52, 120, 45}, "", nullptr, nullptr, FC::None, kMoveRight},
    {FC::FrameTimeGroup, CK::GroupBox, {233, 97, 120, 38}, "", nullptr, nullptr, FC::None, kMoveRight},
    {FC::BrightnessGroup, CK::GroupBox, {233, 134, 120, 58}, "", nullptr, nullptr, FC::None, kMoveRight},
};

constexpr FormControl kReadingOrder[] = {
    FC::Scale,    FC::RotateAngle, FC::Rotate,     FC::FrameTime,     FC::ScaleWidth, FC::ScaleHeight, FC::Flip,
    FC::Mirror,   FC::UseFrameTime, FC::Brightness, FC::Contrast,     FC::UseBrightness, FC::UniqueAvi,
};

}  // namespace

std::span<const FormControlSpec> FormControls() {
    return kControls;
}

const FormControlSpec& FormControlOf(FormControl id) {
    for (const FormControlSpec& layout : kControls)
        if (layout.id == id)
            return layout;
    return kControls[0];
}

std::span<const FormControl> FormReadingOrder() {
    return kReadingOrder;
}

LayoutRect AnchoredRect(const LayoutRect& initial, unsigned anchor, int dx, int dy) {
    dx = dx > 0 ? dx : 0;
    dy = dy > 0 ? dy : 0;
    LayoutRect rect = initial;
    if (anchor & kAnchorMoveX)
        rect.x += dx;
    if (anchor & kAnchorMoveY)
        rect.y += dy;
    if (anchor & kAnchorSizeX)
        rect.width += dx;
    if (anchor & kAnchorSizeY)
        rect.height += dy;
    return rect;
}

LayoutRect GrownToFit(const LayoutRect& rect, int neededWidth, int neededHeight, bool towardsLeft) {
    LayoutRect grown = rect;
    if (neededHeight > rect.height) {
        const int extra = neededHeight - rect.height;
        grown.y -= extra / 2;
        grown.height = neededHeight;
    }
    if (neededWidth > rect.width) {
        if (towardsLeft)
            grown.x -= neededWidth - rect.width;
        grown.width = neededWidth;
    }
    return grown;
}

bool HasNeighbourOnRight(FormControl id) {
    // "Right after" is within a few dialog units of its right edge, or already over it.
    constexpr int kNear = 4;
    const LayoutRect& self = FormControlOf(id).dialogUnits;
    for (const FormControlSpec& other : kControls) {
        const LayoutRect& r = other.dialogUnits;
        if (other.id == id || other.kind == ControlKind::GroupBox)
            continue;
        const bool sameRow = r.y < self.Bottom() && self.y < r.Bottom();
        if (sameRow && r.x > self.x && r.x <= self.Right() + kNear)
            return true;
    }
    return false;
}

bool ParseFormInteger(const char* text, int& value) {
    if (!text)
        return false;
    while (*text == ' ')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    long long number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + (*text - '0');
        if (number > INT_MAX)
            return false;
    }
    if (*text != '\0')
        return false;
    value = static_cast<int>(number);
    return true;
}
