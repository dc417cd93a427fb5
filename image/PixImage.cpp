#include "image/PixImage.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/DibRows.h"

namespace {

constexpr double kInchesPerMetre = 39.37007874015748;  // 10000 / 254
// The block starts with a copy of the information header; the palette follows it.
constexpr size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr size_t kLargestPaletteBytes = 256 * sizeof(RGBQUAD);

uint32_t NormalisedDepth(uint32_t bitsPerPixel) {
    if (bitsPerPixel <= 1)
        return 1;
    if (bitsPerPixel <= 4)
        return 4;
    if (bitsPerPixel <= 8)
        return 8;
    return 24;
}

uint32_t PaletteSizeFor(uint32_t depth) {
    return depth == 24 ? 0 : 1u << depth;
}

LONG DotsPerMetre(int32_t dpi) {
    return static_cast<LONG>(std::floor(dpi * kInchesPerMetre + 0.5));
}

}  // namespace

void CPixImage::FreeDeleter::operator()(uint8_t* p) const {
    std::free(p);
}

CPixImage::Buffer CPixImage::AllocateBuffer(size_t bytes, bool zeroed) {
    // malloc(0) may return null; a zero-sized plane still needs a distinct non-null buffer.
    size_t size = bytes ? bytes : 1;
    void* p = zeroed ? std::calloc(size, 1) : std::malloc(size);
    return Buffer(static_cast<uint8_t*>(p));
}

CPixImage::CPixImage(uint32_t type) {
    header_.biSize = kHeaderBytes;
    info_.type = type;
    info_.quality = 75;
    info_.alphaMax = 255;
    info_.backgroundIndex = -1;
    info_.enabled = true;
    SetHorizontalDpi(72);
    SetVerticalDpi(72);
}

CPixImage::CPixImage(const CPixImage& source, bool copyPixels, bool copySelection, bool copyAlpha)
    : CPixImage(0) {
    CopyFrom(source, copyPixels, copySelection, copyAlpha);
}

CPixImage::~CPixImage() = default;

void CPixImage::SetLastError(const char* text) {
    std::snprintf(info_.lastError, sizeof info_.lastError, "%s", text ? text : "");
}

void CPixImage::SetLastErrorFormatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(info_.lastError, sizeof info_.lastError, format, args);
    va_end(args);
}

uint64_t CPixImage::DibBytesFor(uint64_t width, uint64_t height, uint32_t bitsPerPixel) {
    uint32_t depth = NormalisedDepth(bitsPerPixel);
    if (width > UINT32_MAX || height > UINT32_MAX)
        return UINT64_MAX;
    // Widths and heights are at most 2^32, so the row size fits in 40 bits; the product is
    // only formed when it cannot overflow.
    uint64_t row = dib::RowBytes(width, depth);
    if (height != 0 && row > (UINT64_MAX - kHeaderBytes - kLargestPaletteBytes) / height)
        return UINT64_MAX;
    return kHeaderBytes + 4ull * PaletteSizeFor(depth) + row * height;
}

bool CPixImage::CheckDimensions(uint64_t width, uint64_t height, uint32_t bitsPerPixel) {
    if (width == 0 || height == 0) {
        SetLastErrorFormatted("Invalid image size %llu x %llu", static_cast<unsigned long long>(width),
                              static_cast<unsigned long long>(height));
        return false;
    }
    if (width > INT32_MAX || height > INT32_MAX || DibBytesFor(width, height, bitsPerPixel) > kMaxDibBytes) {
        SetLastErrorFormatted("Image too large: %llu x %llu pixels", static_cast<unsigned long long>(width),
                              static_cast<unsigned long long>(height));
        return false;
    }
    return true;
}

void* CPixImage::Allocate(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t type) {
    Release();
    uint32_t depth = NormalisedDepth(bitsPerPixel);
    uint32_t colours = PaletteSizeFor(depth);
    if (width > INT32_MAX || height > INT32_MAX || DibBytesFor(width, height, depth) > kMaxDibBytes)
        return nullptr;
    uint64_t row = dib::RowBytes(width, depth);

    header_.biSize = kHeaderBytes;
    header_.biWidth = static_cast<LONG>(width);
    header_.biHeight = static_cast<LONG>(height);
    header_.biPlanes = 1;
    header_.biBitCount = static_cast<WORD>(depth);
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(row * height);
    header_.biClrImportant = 0;
    header_.biClrUsed = colours;
    paletteCapacity_ = colours;
    info_.type = type;
    info_.effectiveWidth = static_cast<uint32_t>(row);

    block_ = AllocateBuffer(DibSize(), false);
    if (!block_)
        return nullptr;
    std::memset(block_.get() + kHeaderBytes, 0, PaletteBytes());
    if (selection_)
        SelectionRelease();
    if (alpha_)
        AlphaRelease();
    std::memcpy(block_.get(), &header_, kHeaderBytes);
    info_.pixels = block_.get() + kHeaderBytes + PaletteBytes();
    return block_.get();
}

void CPixImage::CopyFrom(const CPixImage& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    if (&source == this)
        return;
    info_ = source.info_;
    info_.pixels = nullptr;
    header_.biXPelsPerMeter = source.header_.biXPelsPerMeter;
    header_.biYPelsPerMeter = source.header_.biYPelsPerMeter;
    if (!Allocate(source.Width(), source.Height(), source.BitsPerPixel(), source.Type())) {
        info_.effectiveWidth = 0;
        return;
    }
    if (copyPixels && source.block_) {
        // Both blocks were allocated for the same depth, so their palettes and rows have the same
        // size. A decoder may have lowered the source's biClrUsed after allocation without moving
        // its rows, so the header with palette and the rows are copied separately.
        std::memcpy(block_.get(), source.block_.get(), kHeaderBytes + PaletteBytes());
        std::memcpy(info_.pixels, source.info_.pixels, header_.biSizeImage);
        header_.biClrUsed = std::min(header_.biClrUsed, source.header_.biClrUsed);
    } else {
        LoadPaletteQuads(source.PaletteEntries(), 256);
    }
    if (copySelection && source.selection_) {
        selection_.reset();
        selection_ = AllocateBuffer(PlaneBytes(), false);
        if (selection_)
            std::memcpy(selection_.get(), source.selection_.get(), PlaneBytes());
    }
    if (copyAlpha && source.alpha_) {
        alpha_.reset();
        alpha_ = AllocateBuffer(PlaneBytes(), false);
        if (alpha_)
            std::memcpy(alpha_.get(), source.alpha_.get(), PlaneBytes());
    }
}

void CPixImage::CopyInfoFrom(const CPixImage& source) {
    if (block_ || &source == this)
        return;
    info_ = source.info_;
    info_.pixels = nullptr;
    info_.effectiveWidth = 0;
}

void CPixImage::TakeOver(CPixImage& source) {
    if (&source == this)
        return;
    Release();
    header_ = source.header_;
    info_ = source.info_;
    block_ = std::move(source.block_);
    selection_ = std::move(source.selection_);
    alpha_ = std::move(source.alpha_);
    paletteCapacity_ = source.paletteCapacity_;
    source.paletteCapacity_ = 0;
    lastWarning_ = std::move(source.lastWarning_);
    source.lastWarning_.clear();
    source.header_ = BITMAPINFOHEADER{};
    source.info_ = ImageInfo{};
}

void CPixImage::Release() {
    selection_.reset();
    alpha_.reset();
    block_.reset();
    paletteCapacity_ = 0;
}

size_t CPixImage::DibSize() const {
    return kHeaderBytes + PaletteBytes() + header_.biSizeImage;
}

bool CPixImage::Contains(int64_t x, int64_t y) const {
    return block_ && x >= 0 && y >= 0 && x < header_.biWidth && y < header_.biHeight;
}

RGBQUAD* CPixImage::PaletteEntries() const {
    if (!block_ || PaletteCount() == 0)
        return nullptr;
    return reinterpret_cast<RGBQUAD*>(block_.get() + kHeaderBytes);
}

RGBQUAD CPixImage::PaletteEntry(uint8_t index) const {
    RGBQUAD* palette = PaletteEntries();
    if (!palette || index >= PaletteCount())
        return RGBQUAD{};
    return palette[index];
}

void CPixImage::SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue, uint8_t reserved) {
    SetPaletteEntry(index, RGBQUAD{blue, green, red, reserved});
}

void CPixImage::SetPaletteEntry(uint8_t index, RGBQUAD color) {
    RGBQUAD* palette = PaletteEntries();
    if (palette && index < PaletteCount())
        palette[index] = color;
}

void CPixImage::LoadPaletteChannels(uint32_t count, const uint8_t* red, const uint8_t* green, const uint8_t* blue) {
    RGBQUAD* palette = PaletteEntries();
    if (!palette || !red)
        return;
    if (!green)
        green = red;
    if (!blue)
        blue = green;
    uint32_t n = std::min(count, PaletteCount());
    for (uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = red[i];
        palette[i].rgbGreen = green[i];
        palette[i].rgbBlue = blue[i];
    }
}

void CPixImage::LoadPaletteTriples(const uint8_t* triples, uint32_t count) {
    RGBQUAD* palette = PaletteEntries();
    if (!palette || !triples)
        return;
    uint32_t n = std::min(count, PaletteCount());
    for (uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = triples[3 * i];
        palette[i].rgbGreen = triples[3 * i + 1];
        palette[i].rgbBlue = triples[3 * i + 2];
    }
}

void CPixImage::LoadPaletteQuads(const RGBQUAD* quads, uint32_t count) {
    RGBQUAD* palette = PaletteEntries();
    if (!palette || !quads)
        return;
    size_t bytes = std::min<size_t>(4ull * count, PaletteBytes());
    std::memmove(palette, quads, bytes);
}

void CPixImage::MakeGrayPalette() {
    RGBQUAD* palette = PaletteEntries();
    if (!palette || PaletteCount() < 2)
        return;
    uint32_t step = 255 / (PaletteCount() - 1);
    for (uint32_t i = 0; i < PaletteCount(); ++i) {
        auto level = static_cast<uint8_t>(i * step);
        palette[i] = RGBQUAD{level, level, level, 0};
    }
}

uint8_t CPixImage::NearestPaletteIndex(RGBQUAD color) const {
    RGBQUAD* palette = PaletteEntries();
    if (!palette)
        return 0;
    int32_t best = 200000;  // above the largest possible distance, 3 * 255^2
    uint32_t bestIndex = 0;
    for (uint32_t i = 0; i < PaletteCount(); ++i) {
        int32_t db = palette[i].rgbBlue - color.rgbBlue;
        int32_t dg = palette[i].rgbGreen - color.rgbGreen;
        int32_t dr = palette[i].rgbRed - color.rgbRed;
        int32_t d = db * db + dg * dg + dr * dr;
        if (d == 0)
            return static_cast<uint8_t>(i);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return static_cast<uint8_t>(bestIndex);
}

uint8_t CPixImage::PixelIndex(int64_t x, int64_t y) const {
    if (!block_ || PaletteCount() == 0 || header_.biBitCount == 24)
        return 0;
    if (!Contains(x, y))
        return info_.backgroundIndex != -1 ? static_cast<uint8_t>(info_.backgroundIndex) : 0;
    const uint8_t* row = info_.pixels + static_cast<size_t>(y) * info_.effectiveWidth;
    return dib::IndexAt(row, static_cast<uint32_t>(x), header_.biBitCount);
}

void CPixImage::StoreIndex(int64_t x, int64_t y, uint8_t index) {
    if (!Contains(x, y) || PaletteCount() == 0 || header_.biBitCount == 24)
        return;
    uint8_t* row = info_.pixels + static_cast<size_t>(y) * info_.effectiveWidth;
    dib::PutIndex(row, static_cast<uint32_t>(x), header_.biBitCount, index);
}

RGBQUAD CPixImage::PixelColor(int64_t x, int64_t y) const {
    if (!block_ || !Contains(x, y)) {
        if (header_.biBitCount < 24 && info_.backgroundIndex != -1)
            return PaletteEntry(static_cast<uint8_t>(info_.backgroundIndex));
        return info_.backgroundColor;
    }
    // A paletted picture reads through its palette even when that is empty (black then): its
    // rows hold indices, never three bytes a pixel.
    if (header_.biBitCount < 24)
        return PaletteEntry(PixelIndex(x, y));
    const uint8_t* p = info_.pixels + static_cast<size_t>(y) * info_.effectiveWidth + 3 * static_cast<size_t>(x);
    return RGBQUAD{p[0], p[1], p[2], info_.backgroundColor.rgbReserved};
}

void CPixImage::StoreColor(int64_t x, int64_t y, RGBQUAD color) {
    if (!Contains(x, y))
        return;
    if (header_.biBitCount == 24) {
        uint8_t* p = info_.pixels + static_cast<size_t>(y) * info_.effectiveWidth + 3 * static_cast<size_t>(x);
        p[0] = color.rgbBlue;
        p[1] = color.rgbGreen;
        p[2] = color.rgbRed;
    } else {
        StoreIndex(x, y, NearestPaletteIndex(color));
    }
}

void CPixImage::StoreColor(int64_t x, int64_t y, COLORREF color) {
    StoreColor(x, y, RGBQUAD{static_cast<uint8_t>(color >> 16), static_cast<uint8_t>(color >> 8),
                             static_cast<uint8_t>(color), 0});
}

RGBQUAD CPixImage::TransparentColor() const {
    if (header_.biBitCount < 24 && info_.backgroundIndex != -1)
        return PaletteEntry(static_cast<uint8_t>(info_.backgroundIndex));
    return info_.backgroundColor;
}

void CPixImage::SetHorizontalDpi(int32_t dpi) {
    info_.dpiX = dpi;
    header_.biXPelsPerMeter = DotsPerMetre(dpi);
}

void CPixImage::SetVerticalDpi(int32_t dpi) {
    info_.dpiY = dpi;
    header_.biYPelsPerMeter = DotsPerMetre(dpi);
}

bool CPixImage::AlphaAllocate() {
    alpha_.reset();
    if (!block_)
        return false;
    alpha_ = AllocateBuffer(PlaneBytes(), true);
    return alpha_ != nullptr;
}

void CPixImage::AlphaRelease() {
    alpha_.reset();
}

void CPixImage::AlphaZero() {
    AlphaFill(0);
}

void CPixImage::AlphaFill(uint8_t value) {
    if (alpha_)
        std::memset(alpha_.get(), value, PlaneBytes());
}

uint8_t CPixImage::AlphaValue(int64_t x, int64_t y) const {
    if (!alpha_ || !Contains(x, y))
        return 0;
    return alpha_[static_cast<size_t>(y) * Width() + static_cast<size_t>(x)];
}

void CPixImage::StoreAlpha(int64_t x, int64_t y, uint8_t value) {
    if (alpha_ && Contains(x, y))
        alpha_[static_cast<size_t>(y) * Width() + static_cast<size_t>(x)] = value;
}

bool CPixImage::AlphaCopyFrom(const CPixImage& source) {
    if (!source.alpha_ || !block_ || source.Width() != Width())
        return false;
    // The source plane may be shorter than this image; copy only what both planes hold.
    size_t bytes = std::min(PlaneBytes(), source.PlaneBytes());
    if (!alpha_) {
        Buffer plane = AllocateBuffer(PlaneBytes(), true);
        if (!plane)
            return false;
        alpha_ = std::move(plane);
    }
    std::memcpy(alpha_.get(), source.alpha_.get(), bytes);
    info_.alphaMax = source.info_.alphaMax;
    return true;
}

bool CPixImage::InSelection(int64_t x, int64_t y) const {
    if (!Contains(x, y))
        return false;
    if (!selection_)
        return true;
    return selection_[static_cast<size_t>(y) * Width() + static_cast<size_t>(x)] != 0;
}

void CPixImage::SelectionRelease() {
    selection_.reset();
    info_.selectionLeft = header_.biWidth;
    info_.selectionTop = 0;
    info_.selectionRight = 0;
    info_.selectionBottom = header_.biHeight;
}
