// Placeholder until the Png decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodePng(CPixImage& image, ImageStream&) {
    image.SetLastError("Png decoding is not available yet");
    return false;
}
