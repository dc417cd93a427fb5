#pragma once
// CImageFile: the engine's handle on one image file. It remembers the file's name and path,
// picks the decoder from the extension, holds the decoded picture and applies the per-frame
// transforms. The conversion reuses one CImageFile for every file of a run.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/FrameTransform.h"
#include "image/PixImage.h"

class CImageFile {
public:
    CImageFile() = default;
    virtual ~CImageFile() = default;
    CImageFile(const CImageFile&) = delete;
    CImageFile& operator=(const CImageFile&) = delete;

    /// Decodes the file at the path with the decoder its extension names: 1 decoded, 0 not (the
    /// picture is then empty and Image().LastError() says why, when anything does). Only
    /// regular files are read. Name and path are remembered either way.
    int Load(const std::string& path);
    /// Takes a picture decoded elsewhere from the file at the path, as if Load had decoded it.
    void Adopt(const std::string& path, CPixImage& decoded);

    // Every accessor answers 0 or none while the picture is empty.
    uint32_t Width() const;
    uint32_t Height() const;
    uint32_t BitsPerPixel() const;
    BITMAPINFOHEADER Header() const;
    const BITMAPINFOHEADER* HeaderRecord() const;
    uint8_t* PixelBits() const;
    size_t DibSize() const;
    /// First byte of pixel row y (row 0 is the bottom row), or none outside the picture.
    uint8_t* Row(uint32_t y) const;
    int32_t HorizontalDpi() const;
    /// Readable name of the file's format, chosen by the extension of the name.
    const char* FormatName() const;
    float MeanLevel() const;

    // The transforms; each does nothing and answers 0 while the picture is empty.
    int ScaleTo(int32_t width, int32_t height, int32_t mode);
    int FlipVertical();
    int MirrorHorizontal();
    int RotateByAngle(float angle);
    int AdjustLight(int32_t brightness, int32_t contrast);

    bool IsEmpty() const { return !image_.IsValid(); }
    /// File name with extension, without folder, of the file last given to Load.
    const std::string& Name() const { return name_; }
    /// Full path last given to Load.
    const std::string& Path() const { return path_; }
    CPixImage& Image() { return image_; }
    const CPixImage& Image() const { return image_; }

private:
    void SetNames(const std::string& path);

    std::string name_;
    std::string path_;
    CPixImage image_;
};

/// Applies the transforms that are switched on, in the fixed order scale, flip, mirror, rotate,
/// brightness/contrast. A failed step leaves the picture as it left it and the next step runs.
/// Without a record nothing happens.
void ApplyFrameTransforms(CImageFile& image, const FrameTransform* transform);
