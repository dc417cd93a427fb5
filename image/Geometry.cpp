// Placeholder until the geometric operations land.

#include "image/PixImage.h"

bool CPixImage::ScaleTo(int32_t, int32_t, int32_t) { return false; }
bool CPixImage::FlipVertical() { return false; }
bool CPixImage::MirrorHorizontal() { return false; }
bool CPixImage::RotateByAngle(float, CPixImage*) { return false; }
bool CPixImage::TurnLeft(CPixImage*) { return false; }
bool CPixImage::TurnRight(CPixImage*) { return false; }
