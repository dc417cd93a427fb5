// libFuzzer harness: arbitrary bytes decoded as a JPEG through the toolkit's dispatch.

#include <cstddef>
#include <cstdint>

#include "image/ImageStream.h"
#include "image/PixImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ImageMemoryStream stream(data, size);
    CPixImage image;
    image.DecodeStream(stream, Jpeg);
    return 0;
}
