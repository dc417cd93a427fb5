#pragma once
// The format decoders behind CPixImage::DecodeStream. Each fills a fresh image of its type from
// the stream; on failure it returns false with the reason in the image's lastError (the GIF and
// ICO decoders fail silently with an empty text where their format calls for it).

#include "image/ImageStream.h"
#include "image/PixImage.h"

bool DecodeBmp(CPixImage& image, ImageStream& stream);
bool DecodeGif(CPixImage& image, ImageStream& stream);
bool DecodeJpeg(CPixImage& image, ImageStream& stream);
bool DecodePng(CPixImage& image, ImageStream& stream);
bool DecodeIco(CPixImage& image, ImageStream& stream);
bool DecodeTiff(CPixImage& image, ImageStream& stream);
bool DecodeTga(CPixImage& image, ImageStream& stream);
bool DecodePcx(CPixImage& image, ImageStream& stream);

/// Fails with the text of a picture whose pixels could not be allocated.
inline bool FailNoMemory(CPixImage& image, uint32_t width, uint32_t height) {
    image.SetLastErrorFormatted("Not enough memory for a %u x %u picture", width, height);
    return false;
}
