#include "engine/ImageFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "image/ImageStream.h"
#include "image/ImageType.h"
#include "platform/RegularFile.h"

namespace {

// Readable format names by toolkit type; the extension rule that picks the type is the same one
// Load uses (image/ImageType.h).
constexpr std::array<const char*, 8> kFormatNames{{
    "Windows BMP Format",                          // Bmp
    "Compuserve Graphics Interchange Format GIF",  // Gif
    "JPEG - JFIF Compliant",                       // Jpeg
    "Portable Network Graphics",                   // Png
    "Windows Icon Format",                         // Ico
    "Tagged Image File Format",                    // Tiff
    "Truevision Targa",                            // Tga
    "Paint Brush PCX",                             // Pcx
}};
constexpr const char* kUnknownFormat = "Unidentified bitmap type";

}  // namespace

void CImageFile::SetNames(const std::string& path) {
    size_t slash = path.find_last_of('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    path_ = path;
}

int CImageFile::Load(const std::string& path) {
    SetNames(path);
    image_.Release();
    image_.SetLastError("");
    image_.SetLastWarning("");
    int type = ImageTypeForPath(path);
    if (type < 0)
        return 0;
    // The name may have been replaced by a FIFO or a device since the folder was listed; such a
    // file is refused at once instead of holding the conversion until something writes to it.
    const int fd = OpenRegularFile(path.c_str(), O_RDONLY);
    if (fd < 0) {
        image_.SetLastError(OpenFailureText(errno).c_str());
        return 0;
    }
    FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        image_.SetLastError(OpenFailureText(errno).c_str());
        ::close(fd);
        return 0;
    }
    bool decoded;
    {
        ImageFileStream stream(file, false);
        decoded = image_.DecodeStream(stream, static_cast<uint32_t>(type));
    }
    std::fclose(file);
    return decoded && image_.IsValid() ? 1 : 0;
}

void CImageFile::Adopt(const std::string& path, CPixImage& decoded) {
    SetNames(path);
    image_.Release();
    if (decoded.IsValid())
        image_.TakeOver(decoded);
}

uint32_t CImageFile::Width() const {
    return image_.IsValid() ? image_.Width() : 0;
}

uint32_t CImageFile::Height() const {
    return image_.IsValid() ? image_.Height() : 0;
}

uint32_t CImageFile::BitsPerPixel() const {
    return image_.IsValid() ? image_.BitsPerPixel() : 0;
}

BITMAPINFOHEADER CImageFile::Header() const {
    return image_.IsValid() ? image_.Header() : BITMAPINFOHEADER{};
}

const BITMAPINFOHEADER* CImageFile::HeaderRecord() const {
    return image_.IsValid() ? &image_.Header() : nullptr;
}

uint8_t* CImageFile::PixelBits() const {
    return image_.PixelBits();
}

size_t CImageFile::DibSize() const {
    return image_.IsValid() ? image_.DibSize() : 0;
}

uint8_t* CImageFile::Row(uint32_t y) const {
    if (!image_.IsValid() || y >= image_.Height())
        return nullptr;
    return image_.Row(y);
}

int32_t CImageFile::HorizontalDpi() const {
    return image_.IsValid() ? image_.Info().dpiX : 0;
}

const char* CImageFile::FormatName() const {
    int type = ImageTypeForPath(name_);
    if (type < 0 || static_cast<size_t>(type) >= kFormatNames.size())
        return kUnknownFormat;
    return kFormatNames[static_cast<size_t>(type)];
}

float CImageFile::MeanLevel() const {
    return image_.IsValid() ? image_.MeanGray() : 0.0f;
}

int CImageFile::ScaleTo(int32_t width, int32_t height, int32_t mode) {
    return image_.IsValid() && image_.ScaleTo(width, height, mode) ? 1 : 0;
}

int CImageFile::FlipVertical() {
    return image_.IsValid() && image_.FlipVertical() ? 1 : 0;
}

int CImageFile::MirrorHorizontal() {
    return image_.IsValid() && image_.MirrorHorizontal() ? 1 : 0;
}

int CImageFile::RotateByAngle(float angle) {
    return image_.IsValid() && image_.RotateByAngle(angle) ? 1 : 0;
}

int CImageFile::AdjustLight(int32_t brightness, int32_t contrast) {
    return image_.IsValid() && image_.AdjustLight(brightness, contrast) ? 1 : 0;
}

void ApplyFrameTransforms(CImageFile& image, const FrameTransform* transform) {
    if (!transform)
        return;
    if (transform->AVIScale)
        image.ScaleTo(transform->AVIXScale, transform->AVIXYcale, transform->ScaleType);
    if (transform->Flip)
        image.FlipVertical();
    if (transform->Mirror)
        image.MirrorHorizontal();
    if (transform->AVIRotate)
        image.RotateByAngle(transform->AVIRotateAngle);
    if (transform->UseBrightness)
        image.AdjustLight(transform->Brightness, transform->Contrast);
}
