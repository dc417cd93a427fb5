// Placeholder until the Tiff decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeTiff(CPixImage& image, ImageStream&) {
    image.SetLastError("Tiff decoding is not available yet");
    return false;
}
