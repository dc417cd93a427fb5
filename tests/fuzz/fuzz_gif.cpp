// libFuzzer target: GIF decoding of arbitrary bytes, of the first and of a later frame, must end in
// true or false, with no memory error, hang or runaway allocation.

#include <cstddef>
#include <cstdint>

#include "image/ImageStream.h"
#include "image/PixImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int32_t frame : {0, 2}) {
        ImageMemoryStream stream(data, size);
        CPixImage image;
        image.Info().frame = frame;
        if (image.DecodeStream(stream, Gif)) {
            // Read the last pixel back, so that a block smaller than its header claims is caught.
            volatile uint8_t last = image.PixelColor(image.Width() - 1, image.Height() - 1).rgbRed;
            last = image.AlphaValue(image.Width() - 1, image.Height() - 1);
        }
    }
    return 0;
}
