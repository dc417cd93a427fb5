// Placeholder until the pixel adjustments land.

#include "image/PixImage.h"

bool CPixImage::AdjustLight(int32_t, int32_t) { return false; }
bool CPixImage::ToGray() { return false; }
float CPixImage::MeanGray() const { return 0.0f; }
