#pragma once
// The frame format of an open video stream (the header and palette of its first frame), and the
// conversion of a picture of the same size but another depth or palette into it, so that the
// compressor is only ever handed frames in the format it was set up for.

#include <vector>

#include "image/PixImage.h"

struct StreamFormat {
    bool valid = false;
    BITMAPINFOHEADER header{};
    std::vector<RGBQUAD> palette;  ///< the entries the stream's format carries

    /// The format of a picture that becomes a stream's first frame.
    static StreamFormat Of(const CPixImage& picture);
    void Clear() { *this = StreamFormat{}; }

    bool SameSize(const CPixImage& picture) const;
    /// Same size and depth, and every palette entry the picture can use is the stream's.
    bool Matches(const CPixImage& picture) const;
};

/// Rewrites a picture of the format's size in the format's depth: a 24-bit format takes every
/// pixel's colour as it is; a palette format takes, for each pixel, the nearest colour of the
/// format's palette (the first of equally near ones). False, with the picture unchanged, when
/// the sizes differ or memory runs out.
bool ConvertToFormat(CPixImage& picture, const StreamFormat& format);
