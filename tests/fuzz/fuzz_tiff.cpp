// libFuzzer harness: arbitrary bytes decoded as a TIFF, first page and second page.

#include <cstddef>
#include <cstdint>

#include "image/ImageStream.h"
#include "image/PixImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (int32_t frame : {0, 1}) {
        ImageMemoryStream stream(data, size);
        CPixImage image;
        image.Info().frame = frame;
        image.DecodeStream(stream, Tiff);
    }
    return 0;
}
