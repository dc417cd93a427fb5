#pragma once
// CPixImage: the in-memory raster image. The pixels live in one packed DIB block (40-byte header
// copy, palette, bottom-up rows padded to 4 bytes) so the block can be handed unchanged to the
// video compressor and to painting. Depths in memory are 1, 4, 8 and 24 bits only.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/ImageType.h"
#include "base/DibTypes.h"

class ImageStream;

struct ImageInfo {
    uint32_t effectiveWidth;    // bytes per pixel row
    uint8_t* pixels;            // first pixel row inside the block
    void* ghost;                // never used: images here never share blocks
    uint32_t type;              // ImageType of the source format
    char lastError[256];
    int32_t progress;           // 0-100 while a long operation runs
    uint32_t escape;            // nonzero asks a long operation to stop
    int32_t backgroundIndex;    // transparent palette index, -1 for none
    RGBQUAD backgroundColor;    // transparent / fill colour of a true-colour image
    uint8_t quality;
    int32_t frame;              // frame, page or icon to decode
    int32_t frameCount;
    uint32_t frameDelay;
    int32_t dpiX;
    int32_t dpiY;
    int32_t selectionLeft;
    int32_t selectionTop;
    int32_t selectionRight;
    int32_t selectionBottom;
    uint8_t alphaMax;
    bool alphaPaletteEnabled;
    bool enabled;
    int32_t xOffset;
    int32_t yOffset;
};

class CPixImage {
public:
    /// Largest pixel block an image may have; decoders refuse pictures above it.
    static constexpr uint64_t kMaxDibBytes = 1ull << 30;

    explicit CPixImage(uint32_t type = 0);
    CPixImage(const CPixImage& source, bool copyPixels, bool copySelection, bool copyAlpha);
    ~CPixImage();
    CPixImage(const CPixImage&) = delete;
    CPixImage& operator=(const CPixImage&) = delete;

    // Life cycle.
    void* Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t type);
    void CopyFrom(const CPixImage& source, bool copyPixels, bool copySelection, bool copyAlpha);
    void CopyInfoFrom(const CPixImage& source);
    void TakeOver(CPixImage& source);
    void Release();

    // Size checks used by decoders before they allocate: false (with a clear lastError) when
    // a width x height picture at this depth would exceed kMaxDibBytes or has a zero side.
    static uint64_t DibBytesFor(uint64_t width, uint64_t height, uint32_t bitsPerPixel);
    bool CheckDimensions(uint64_t width, uint64_t height, uint32_t bitsPerPixel);

    // Plain reads.
    bool IsValid() const { return block_ != nullptr; }
    uint32_t Width() const { return static_cast<uint32_t>(header_.biWidth); }
    uint32_t Height() const { return static_cast<uint32_t>(header_.biHeight); }
    uint32_t BitsPerPixel() const { return header_.biBitCount; }
    uint32_t Type() const { return info_.type; }
    uint32_t EffectiveWidth() const { return info_.effectiveWidth; }
    const char* LastError() const { return info_.lastError; }
    void SetLastError(const char* text);
    void SetLastErrorFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    /// The first warning of the decode that made the picture (a damaged file that still decoded:
    /// "Premature end of JPEG file"); empty when there was none. TakeOver takes it along.
    const std::string& LastWarning() const { return lastWarning_; }
    void SetLastWarning(const char* text) { lastWarning_ = text ? text : ""; }
    ImageInfo& Info() { return info_; }
    const ImageInfo& Info() const { return info_; }
    BITMAPINFOHEADER& Header() { return header_; }
    const BITMAPINFOHEADER& Header() const { return header_; }

    uint8_t* PixelBits() const { return block_ ? info_.pixels : nullptr; }
    uint8_t* Row(uint32_t y) const { return block_ ? info_.pixels + static_cast<size_t>(y) * info_.effectiveWidth : nullptr; }
    uint8_t* Block() const { return block_.get(); }
    size_t DibSize() const;
    bool Contains(int64_t x, int64_t y) const;

    // Palette.
    uint32_t PaletteBytes() const { return 4 * PaletteCount(); }
    /// biClrUsed, but never more entries than the block was allocated with.
    uint32_t PaletteCount() const { return header_.biClrUsed < paletteCapacity_ ? header_.biClrUsed : paletteCapacity_; }
    RGBQUAD* PaletteEntries() const;
    RGBQUAD PaletteEntry(uint8_t index) const;
    void SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t reserved = 0);
    void SetPaletteEntry(uint8_t index, RGBQUAD color);
    void LoadPaletteChannels(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue);
    void LoadPaletteTriples(const uint8_t* triples, uint32_t count);
    void LoadPaletteQuads(const RGBQUAD* quads, uint32_t count);
    void MakeGrayPalette();
    uint8_t NearestPaletteIndex(RGBQUAD color) const;

    // Pixels; y = 0 is the bottom row.
    uint8_t PixelIndex(int64_t x, int64_t y) const;
    void StoreIndex(int64_t x, int64_t y, uint8_t index);
    RGBQUAD PixelColor(int64_t x, int64_t y) const;
    void StoreColor(int64_t x, int64_t y, RGBQUAD color);
    void StoreColor(int64_t x, int64_t y, COLORREF color);
    RGBQUAD TransparentColor() const;

    // Resolution.
    void SetHorizontalDpi(int32_t dpi);
    void SetVerticalDpi(int32_t dpi);

    // Alpha plane (width x height bytes, bottom row first, no padding).
    bool AlphaAllocate();
    void AlphaRelease();
    void AlphaZero();
    void AlphaFill(uint8_t value);
    uint8_t AlphaValue(int64_t x, int64_t y) const;
    void StoreAlpha(int64_t x, int64_t y, uint8_t value);
    bool AlphaCopyFrom(const CPixImage& source);
    uint8_t* AlphaPlane() const { return alpha_.get(); }
    bool HasAlpha() const { return alpha_ != nullptr; }

    // Selection mask (never created by this program; read where present).
    bool InSelection(int64_t x, int64_t y) const;
    void SelectionRelease();
    uint8_t* SelectionMask() const { return selection_.get(); }

    static const char* VersionText() { return "PixImage 5.10"; }

    // Decoding.
    bool LoadFile(const char* fileName, uint32_t type);
    bool DecodeStream(ImageStream& stream, uint32_t type);

    // Geometric operations.
    bool ScaleTo(int32_t newWidth, int32_t newHeight, int32_t mode);
    bool FlipVertical();
    bool MirrorHorizontal();
    bool RotateByAngle(float angle, CPixImage* destination = nullptr);
    bool TurnLeft(CPixImage* destination = nullptr);
    bool TurnRight(CPixImage* destination = nullptr);

    // Pixel adjustments.
    bool AdjustLight(int32_t brightness, int32_t contrast);
    bool ToGray();
    float MeanGray() const;

private:
    struct FreeDeleter {
        void operator()(uint8_t* p) const;
    };
    using Buffer = std::unique_ptr<uint8_t[], FreeDeleter>;
    static Buffer AllocateBuffer(size_t bytes, bool zeroed);

    size_t PlaneBytes() const { return static_cast<size_t>(Width()) * Height(); }

    BITMAPINFOHEADER header_{};
    ImageInfo info_{};
    Buffer block_;
    Buffer selection_;
    Buffer alpha_;
    uint32_t paletteCapacity_ = 0;  // entries the block has room for
    std::string lastWarning_;
};
