// Placeholder until the Bmp decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeBmp(CPixImage& image, ImageStream&) {
    image.SetLastError("Bmp decoding is not available yet");
    return false;
}
