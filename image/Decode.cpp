// Dispatch from a type code to its decoder, and loading from a file.

#include <array>
#include <cstdio>

#include "image/Decoders.h"
#include "image/PixImage.h"

namespace {

using DecodeFunction = bool (*)(CPixImage&, ImageStream&);

struct DecoderEntry {
    ImageType type;
    DecodeFunction decode;
    bool multiFrame;  // the caller's frame number picks a frame, page or icon
};

constexpr std::array<DecoderEntry, 8> kDecoders{{
    {Bmp, &DecodeBmp, false},
    {Gif, &DecodeGif, true},
    {Jpeg, &DecodeJpeg, false},
    {Png, &DecodePng, false},
    {Ico, &DecodeIco, true},
    {Tiff, &DecodeTiff, true},
    {Tga, &DecodeTga, false},
    {Pcx, &DecodePcx, false},
}};

}  // namespace

bool CPixImage::DecodeStream(ImageStream& stream, uint32_t type) {
    if (type > kHighestImageType) {
        SetLastError("Unsupported operation for this format");
        return false;
    }
    const DecoderEntry* entry = nullptr;
    for (const DecoderEntry& candidate : kDecoders) {
        if (candidate.type == type)
            entry = &candidate;
    }
    if (!entry) {
        // The reserved codes have no decoder in this program.
        SetLastError("Unsupported operation for this format");
        return false;
    }

    CPixImage decoded(type);
    if (entry->multiFrame)
        decoded.info_.frame = info_.frame;
    if (entry->decode(decoded, stream) && decoded.IsValid()) {
        TakeOver(decoded);
        return true;
    }
    SetLastError(decoded.info_.lastError);
    if (entry->multiFrame)
        info_.frameCount = decoded.info_.frameCount;
    return false;
}

bool CPixImage::LoadFile(const char* fileName, uint32_t type) {
    FILE* file = std::fopen(fileName, "rb");
    if (!file)
        return false;
    bool ok;
    {
        ImageFileStream stream(file, false);
        ok = DecodeStream(stream, type);
    }
    std::fclose(file);
    return ok;
}
