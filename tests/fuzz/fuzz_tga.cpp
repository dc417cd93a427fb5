// libFuzzer target: TGA decoding of arbitrary bytes must end in true or false, with no memory error,
// hang or runaway allocation.

#include <cstddef>
#include <cstdint>

#include "image/ImageStream.h"
#include "image/PixImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageMemoryStream stream(data, size);
    CPixImage image;
    if (image.DecodeStream(stream, Tga)) {
        // Read the last pixel back, so that a block smaller than its header claims is caught.
        volatile uint8_t last = image.PixelColor(image.Width() - 1, image.Height() - 1).rgbRed;
        last = image.AlphaValue(image.Width() - 1, image.Height() - 1);
    }
    return 0;
}
