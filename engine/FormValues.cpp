#include "engine/FormValues.h"

#include "config/Settings.h"
#include "engine/FrameTransform.h"

namespace {

// The form's values: the stored key each comes from (its section and name are in the settings'
// key table), and the transform value it sets, if any. Storing follows this order.
struct FormField {
    int Settings::*setting;
    int FormValues::*form;
    int FrameTransform::*transform;  // none: the transform does not take it as a whole number
};

constexpr FormField kFormFields[] = {
    {&Settings::AVIScale, &FormValues::AVIScale, &FrameTransform::AVIScale},
    {&Settings::AVIXScale, &FormValues::AVIXScale, &FrameTransform::AVIXScale},
    {&Settings::AVIXYcale, &FormValues::AVIXYcale, &FrameTransform::AVIXYcale},
    {&Settings::AVIRotate, &FormValues::AVIRotate, &FrameTransform::AVIRotate},
    {&Settings::AVIRotateAngle, &FormValues::AVIRotateAngle, nullptr},  // degrees as a float there
    {&Settings::AVIFrameTime, &FormValues::AVIFrameTime, nullptr},
    {&Settings::AVIStyle, &FormValues::AVIStyle, nullptr},
    {&Settings::Flip, &FormValues::Flip, &FrameTransform::Flip},
    {&Settings::Mirror, &FormValues::Mirror, &FrameTransform::Mirror},
    {&Settings::UseFrameTime, &FormValues::UseFrameTime, nullptr},
    {&Settings::Brightness, &FormValues::Brightness, &FrameTransform::Brightness},
    {&Settings::Contrast, &FormValues::Contrast, &FrameTransform::Contrast},
    {&Settings::UseBrightness, &FormValues::UseBrightness, &FrameTransform::UseBrightness},
};

}  // namespace

FormValues FormValues::FromSettings(const Settings& settings) {
    FormValues form;
    for (const FormField& field : kFormFields)
        form.*field.form = settings.*field.setting;
    return form;
}

void FormValues::Store() const {
    for (const FormField& field : kFormFields) {
        const IntSetting* key = FindIntSetting(field.setting);
        WriteSettingInt(key->section, key->key, this->*field.form);
    }
}

FrameTransform FormValues::Transform(int scaleType) const {
    FrameTransform transform;
    for (const FormField& field : kFormFields) {
        if (field.transform)
            transform.*field.transform = this->*field.form;
    }
    transform.AVIRotateAngle = static_cast<float>(AVIRotateAngle);
    transform.ScaleType = scaleType;
    return transform;
}
