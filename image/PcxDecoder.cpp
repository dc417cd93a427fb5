// Placeholder until the Pcx decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodePcx(CPixImage& image, ImageStream&) {
    image.SetLastError("Pcx decoding is not available yet");
    return false;
}
