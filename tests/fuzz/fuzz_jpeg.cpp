// libFuzzer harness: arbitrary bytes decoded as a JPEG through the toolkit's dispatch. A file
// cut short still decodes to its full size, so a few bytes claiming a huge picture make libjpeg
// fill gigabytes; such inputs only cost time and are skipped (any frame header above 16
// megapixels), so that a timeout means a real hang.

#include <cstddef>
#include <cstdint>

#include "image/ImageStream.h"
#include "image/PixImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 9 <= size; ++i) {
        const uint8_t marker = data[i + 1];
        if (data[i] == 0xFF && (marker & 0xF0) == 0xC0 && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            const uint64_t height = uint64_t{data[i + 5]} << 8 | data[i + 6];
            const uint64_t width = uint64_t{data[i + 7]} << 8 | data[i + 8];
            if (width * height > (16u << 20))
                return 0;
        }
    }
    ImageMemoryStream stream(data, size);
    CPixImage image;
    image.DecodeStream(stream, Jpeg);
    return 0;
}
