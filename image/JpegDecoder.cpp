// Placeholder until the Jpeg decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeJpeg(CPixImage& image, ImageStream&) {
    image.SetLastError("Jpeg decoding is not available yet");
    return false;
}
