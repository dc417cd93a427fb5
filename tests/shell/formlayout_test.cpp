// The form's table and the rules that need no window: anchoring on resize, the growth that makes
// room for a control's content, and the reading of number fields.

#include "shell/FormLayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

TEST(FormLayout, EachControlFollowsTheFormAsItsRuleSays) {
    const LayoutRect start{10, 20, 30, 40};
    struct Case {
        FormControl control;
        LayoutRect grown;  // after the form grew by 100 x 50
    } cases[] = {
        {FormControl::FileList, {10, 20, 30, 90}},        // height follows
        {FormControl::StatusLog, {10, 70, 130, 40}},      // moves down, width follows
        {FormControl::VideoBox, {10, 20, 130, 90}},       // grows both ways
        {FormControl::Scale, {110, 20, 30, 40}},          // right-hand controls move right
        {FormControl::BrightnessGroup, {110, 20, 30, 40}},
        {FormControl::AviIndicator, {110, 20, 30, 40}},
        {FormControl::PreviewBox, start},                 // the preview and its labels stay
        {FormControl::PreviewLabel, start},
        {FormControl::VideoLabel, start},
    };
    for (const Case& c : cases) {
        const unsigned anchor = FormControlOf(c.control).anchor;
        EXPECT_EQ(AnchoredRect(start, anchor, 100, 50), c.grown) << static_cast<int>(c.control);
        // Smaller than its first size the form counts as that size.
        EXPECT_EQ(AnchoredRect(start, anchor, -30, -30), start) << static_cast<int>(c.control);
    }
}

TEST(FormLayout, TableHoldsTheFormsControlsAndRules) {
    EXPECT_EQ(FormControls().size(), static_cast<size_t>(FormControl::None));
    const FormControlSpec& list = FormControlOf(FormControl::FileList);
    EXPECT_EQ(list.dialogUnits, (LayoutRect{7, 7, 103, 170}));
    EXPECT_STREQ(FormControlOf(FormControl::StatusLog).toolTip, "Status display/error log");
    EXPECT_EQ(FormControlOf(FormControl::ActivityIndicator).toolTip, nullptr);

    // Every control that holds a value is read, in the form's order; the enabling check boxes
    // are the four the form has.
    std::vector<int FormValues::*> read;
    for (FormControl id : FormReadingOrder())
        read.push_back(FormControlOf(id).value);
    std::set<FormControl> enablers;
    for (const FormControlSpec& layout : FormControls()) {
        if (layout.value) {
            EXPECT_EQ(std::count(read.begin(), read.end(), layout.value), 1) << static_cast<int>(layout.id);
        }
        if (layout.enabledBy != FormControl::None)
            enablers.insert(layout.enabledBy);
    }
    EXPECT_EQ(enablers, (std::set<FormControl>{FormControl::Scale, FormControl::Rotate, FormControl::UseFrameTime,
                                                FormControl::UseBrightness}));
    EXPECT_EQ(FormReadingOrder().front(), FormControl::Scale);
    EXPECT_EQ(FormReadingOrder()[1], FormControl::RotateAngle);
}

TEST(FormLayout, ControlsGrowCentredToFitTheirContent) {
    const LayoutRect rect{100, 50, 40, 28};
    EXPECT_EQ(GrownToFit(rect, 30, 20), rect);                           // fits: unchanged
    EXPECT_EQ(GrownToFit(rect, 40, 34), (LayoutRect{100, 47, 40, 34}));  // 6 taller: 3 up
    EXPECT_EQ(GrownToFit(rect, 55, 29), (LayoutRect{100, 50, 55, 29}));  // 1 taller: stays, wider to the right
    EXPECT_EQ(GrownToFit(rect, 55, 20, true), (LayoutRect{85, 50, 55, 28}));

    // The texts in front of a field grow away from it; the others to the right.
    for (FormControl label : {FormControl::RotateLabel, FormControl::FrameTimeLabel, FormControl::ScaleTimes})
        EXPECT_TRUE(HasNeighbourOnRight(label)) << static_cast<int>(label);
    for (FormControl other : {FormControl::MilliSecondsLabel, FormControl::Mirror, FormControl::UseFrameTime,
                              FormControl::SingleAvi})
        EXPECT_FALSE(HasNeighbourOnRight(other)) << static_cast<int>(other);
}

TEST(FormLayout, NumberFieldsHoldDigitsOnly) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"320", true, 320}, {"  7", true, 7}, {"0", true, 0}, {"2147483647", true, 2147483647},
        {"", false, 0},     {" ", false, 0},  {"-5", false, 0}, {"+5", false, 0},
        {"12a", false, 0},  {"1 2", false, 0}, {"2147483648", false, 0}, {nullptr, false, 0},
    };
    for (const Case& c : cases) {
        int value = -1;
        EXPECT_EQ(ParseFormInteger(c.text, value), c.ok) << (c.text ? c.text : "(null)");
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}
