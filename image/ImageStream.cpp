#include "image/ImageStream.h"

#include <cstring>

ImageFileStream::~ImageFileStream() {
    if (ownsFile_)
        CloseStream();
}

bool ImageFileStream::CloseStream() {
    if (!file_)
        return false;
    // A stream that does not own its file only lets go of it: the owner closes it, once.
    bool ok = ownsFile_ ? std::fclose(file_) == 0 : true;
    file_ = nullptr;
    return ok;
}

size_t ImageFileStream::ReadItems(void* buffer, size_t size, size_t count) {
    return file_ ? std::fread(buffer, size, count, file_) : 0;
}

size_t ImageFileStream::WriteItems(const void* buffer, size_t size, size_t count) {
    return file_ ? std::fwrite(buffer, size, count, file_) : 0;
}

bool ImageFileStream::SeekTo(int64_t offset, int origin) {
    return file_ && fseeko(file_, static_cast<off_t>(offset), origin) == 0;
}

int64_t ImageFileStream::Position() {
    return file_ ? static_cast<int64_t>(ftello(file_)) : 0;
}

int64_t ImageFileStream::Length() {
    if (!file_)
        return -1;
    off_t here = ftello(file_);
    if (here < 0 || fseeko(file_, 0, SEEK_END) != 0)
        return -1;
    off_t end = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return static_cast<int64_t>(end);
}

bool ImageFileStream::FlushOut() {
    return file_ && std::fflush(file_) == 0;
}

bool ImageFileStream::AtEnd() {
    return !file_ || std::feof(file_) != 0;
}

bool ImageFileStream::HasError() {
    return !file_ || std::ferror(file_) != 0;
}

bool ImageFileStream::PutByte(uint8_t byte) {
    return file_ && std::fputc(byte, file_) != EOF;
}

int ImageFileStream::GetByte() {
    if (!file_)
        return -1;
    int c = std::fgetc(file_);
    return c == EOF ? -1 : c;
}

size_t ImageMemoryStream::ReadItems(void* buffer, size_t size, size_t count) {
    if (size == 0 || count == 0 || position_ >= size_)
        return 0;
    size_t items = (size_ - position_) / size;
    if (items > count)
        items = count;
    std::memcpy(buffer, data_ + position_, items * size);
    position_ += items * size;
    return items;
}

bool ImageMemoryStream::SeekTo(int64_t offset, int origin) {
    int64_t base = origin == SEEK_CUR ? static_cast<int64_t>(position_)
                 : origin == SEEK_END ? static_cast<int64_t>(size_)
                                      : 0;
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        return false;
    position_ = static_cast<size_t>(target);  // past the end is allowed, as with fseek
    return true;
}

int ImageMemoryStream::GetByte() {
    return position_ < size_ ? data_[position_++] : -1;
}
