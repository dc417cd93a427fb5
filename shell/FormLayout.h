#pragma once
// The main form's controls as one table: kind, rectangle in dialog units, caption, tool tip, the
// form value each one edits, the check box that enables it and how it follows a resize of the
// form. The window builds its controls from this table; the rules that need no window (resize
// anchoring, the growth that makes room for a control's content, the order the form is read in)
// live here too, so that they are tested without a display.

#include <cstddef>
#include <span>

#include "engine/FormValues.h"

/// The controls of the form, in the order of the table.
enum class FormControl {
    FileList,
    PreviewLabel,
    PreviewBox,
    VideoLabel,
    VideoBox,
    AviIndicator,
    ActivityIndicator,
    UniqueAvi,
    SingleAvi,
    Scale,
    ScaleWidth,
    ScaleTimes,
    ScaleHeight,
    Flip,
    Mirror,
    Rotate,
    RotateLabel,
    RotateAngle,
    UseFrameTime,
    FrameTimeLabel,
    FrameTime,
    MilliSecondsLabel,
    UseBrightness,
    BrightnessLabel,
    Brightness,
    ContrastLabel,
    Contrast,
    StatusLog,
    ScaleGroup,
    TransformGroup,
    FrameTimeGroup,
    BrightnessGroup,
    None,
};

enum class ControlKind {
    FileList,     ///< report list of the files to convert
    Label,        ///< static text
    PictureBox,   ///< picture painter target
    IconBox,      ///< indicator icon
    RadioFirst,   ///< first radio button of a group
    Radio,
    CheckBox,
    DigitsEdit,   ///< edit field that takes digits only
    Slider,
    StatusLog,    ///< read-only multi-line rich text
    GroupBox,
};

/// How a control follows the form when the form grows beyond its first size.
enum Anchor : unsigned {
    kAnchorStay = 0,
    kAnchorMoveX = 1,   ///< keeps its distance to the right edge
    kAnchorMoveY = 2,   ///< keeps its distance to the bottom edge
    kAnchorSizeX = 4,   ///< its right side keeps its distance to the right edge
    kAnchorSizeY = 8,   ///< its bottom side keeps its distance to the bottom edge
};

struct LayoutRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
    bool operator==(const LayoutRect&) const = default;
};

struct FormControlSpec {
    FormControl id;
    ControlKind kind;
    LayoutRect dialogUnits;        ///< x, y, width, height in dialog units
    const char* caption;           ///< "" for none
    const char* toolTip;           ///< nullptr: the control has no tip
    int FormValues::*value;        ///< the form value it edits; nullptr for none
    FormControl enabledBy;         ///< the check box that enables it; None when always enabled
    unsigned anchor;               ///< Anchor flags
};

/// The form's size in dialog units.
inline constexpr int kFormWidthDu = 361;
inline constexpr int kFormHeightDu = 256;

/// Every control of the form, in creation (and tab) order.
std::span<const FormControlSpec> FormControls();
/// The table entry of a control.
const FormControlSpec& FormControlOf(FormControl id);

/// The controls that hold form values, in the order the form is read: a number field that does
/// not hold an integer stops the reading there.
std::span<const FormControl> FormReadingOrder();

/// Ranges of the two sliders.
inline constexpr int kBrightnessMin = -255;
inline constexpr int kBrightnessMax = 255;
inline constexpr int kContrastMin = 0;
inline constexpr int kContrastMax = 512;

/// The rectangle of a control whose first rectangle was `initial`, once the form has grown by
/// (dx, dy) pixels beyond its first size. A form smaller than its first size counts as that size.
LayoutRect AnchoredRect(const LayoutRect& initial, unsigned anchor, int dx, int dy);

/// A control's rectangle with room for content of the given size: a height that is too small
/// grows evenly above and below, so that the control stays centred on its row; a width that is
/// too small grows to the right, or to the left for a control with a neighbour right after it
/// (the text in front of a field).
LayoutRect GrownToFit(const LayoutRect& rect, int neededWidth, int neededHeight, bool towardsLeft = false);

/// Whether another control (group boxes aside) starts right after this one on its row, so that
/// the control must not grow to the right.
bool HasNeighbourOnRight(FormControl id);

/// The text of a digits-only field as a number, as the form reads it: true for optional blanks
/// and at least one digit, nothing else (no sign); false for anything else, empty text included.
bool ParseFormInteger(const char* text, int& value);
