// Placeholder until the Ico decoder lands: every file fails cleanly.

#include "image/Decoders.h"

bool DecodeIco(CPixImage& image, ImageStream&) {
    image.SetLastError("Ico decoding is not available yet");
    return false;
}
