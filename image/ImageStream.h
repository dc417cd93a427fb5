#pragma once
// The byte stream every decoder reads from. The operations mirror C stdio so that the library
// decoders (libtiff's client procedures, libpng's read callback) map onto them one to one.

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ImageStream {
public:
    virtual ~ImageStream() = default;
    virtual bool CloseStream() = 0;
    virtual size_t ReadItems(void* buffer, size_t size, size_t count) = 0;
    virtual size_t WriteItems(const void* buffer, size_t size, size_t count) = 0;
    virtual bool SeekTo(int64_t offset, int origin) = 0;
    virtual int64_t Position() = 0;
    virtual int64_t Length() = 0;
    virtual bool FlushOut() = 0;
    virtual bool AtEnd() = 0;
    virtual bool HasError() = 0;
    virtual bool PutByte(uint8_t byte) = 0;
    virtual int GetByte() = 0;
};

/// A stream over an open stdio file. It closes the file (on CloseStream or destruction) only when
/// it owns it; otherwise closing only detaches the stream from the file.
class ImageFileStream final : public ImageStream {
public:
    explicit ImageFileStream(FILE* file, bool ownsFile = false) : file_(file), ownsFile_(ownsFile) {}
    ~ImageFileStream() override;
    ImageFileStream(const ImageFileStream&) = delete;
    ImageFileStream& operator=(const ImageFileStream&) = delete;

    bool CloseStream() override;
    size_t ReadItems(void* buffer, size_t size, size_t count) override;
    size_t WriteItems(const void* buffer, size_t size, size_t count) override;
    bool SeekTo(int64_t offset, int origin) override;
    int64_t Position() override;
    int64_t Length() override;
    bool FlushOut() override;
    bool AtEnd() override;
    bool HasError() override;
    bool PutByte(uint8_t byte) override;
    int GetByte() override;

private:
    FILE* file_;
    bool ownsFile_;
};

/// A read-only stream over bytes held by the caller (fuzz targets and tests decode from memory).
class ImageMemoryStream final : public ImageStream {
public:
    ImageMemoryStream(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}

    bool CloseStream() override { return true; }
    size_t ReadItems(void* buffer, size_t size, size_t count) override;
    size_t WriteItems(const void*, size_t, size_t) override { return 0; }
    bool SeekTo(int64_t offset, int origin) override;
    int64_t Position() override { return static_cast<int64_t>(position_); }
    int64_t Length() override { return static_cast<int64_t>(size_); }
    bool FlushOut() override { return true; }
    bool AtEnd() override { return position_ >= size_; }
    bool HasError() override { return false; }
    bool PutByte(uint8_t) override { return false; }
    int GetByte() override;

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};
