// Placeholder until the Tga decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeTga(CPixImage& image, ImageStream&) {
    image.SetLastError("Tga decoding is not available yet");
    return false;
}
