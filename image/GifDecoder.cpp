// Placeholder until the Gif decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeGif(CPixImage& image, ImageStream&) {
    image.SetLastError("Gif decoding is not available yet");
    return false;
}
