#include "platform/RiffWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "base/ByteOrder.h"

namespace {

// Pending bytes above this are handed over at once even within a sample, to bound memory.
constexpr size_t kFlushAbove = 4u << 20;
// Blocks of this size and more (frames) go to the system straight from the caller's buffer
// instead of being copied into the pending bytes first.
constexpr size_t kDirectFrom = 256u << 10;

}  // namespace

RiffWriter::~RiffWriter() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RiffWriter::Create(const char* path) {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    fd_ = fd;
    flushed_ = 0;
    pending_.clear();
    error_ = 0;
    return true;
}

bool RiffWriter::Fail(int code) {
    if (error_ == 0)
        error_ = code != 0 ? code : EIO;
    errno = error_;
    return false;
}

void RiffWriter::PutBytes(const void* data, size_t size) {
    if (error_ != 0 || size == 0)
        return;
    if (size >= kDirectFrom) {
        if (Flush())
            WriteOut(static_cast<const uint8_t*>(data), size);
        return;
    }
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        pending_.insert(pending_.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        Fail(ENOMEM);
        return;
    }
    if (pending_.size() > kFlushAbove)
        Flush();
}

void RiffWriter::PutU16(uint16_t value) {
    uint8_t bytes[2];
    le::WriteU16(bytes, value);
    PutBytes(bytes, 2);
}

void RiffWriter::PutU32(uint32_t value) {
    uint8_t bytes[4];
    le::WriteU32(bytes, value);
    PutBytes(bytes, 4);
}

void RiffWriter::PutU64(uint64_t value) {
    PutU32(static_cast<uint32_t>(value));
    PutU32(static_cast<uint32_t>(value >> 32));
}

void RiffWriter::PutZeros(size_t count) {
    static const uint8_t zeros[256] = {};
    while (count > 0 && error_ == 0) {
        size_t part = count < sizeof zeros ? count : sizeof zeros;
        PutBytes(zeros, part);
        count -= part;
    }
}

uint64_t RiffWriter::BeginChunk(DWORD tag) {
    uint64_t offset = Tell();
    PutU32(tag);
    PutU32(0);  // patched by EndChunk
    return offset;
}

uint64_t RiffWriter::BeginList(DWORD listTag, DWORD listType) {
    uint64_t offset = BeginChunk(listTag);
    PutU32(listType);
    return offset;
}

void RiffWriter::EndChunk(uint64_t chunkOffset) {
    uint64_t end = Tell();
    uint64_t size = end - chunkOffset - 8;
    if (size & 1)
        PutZeros(1);
    PatchU32(chunkOffset + 4, static_cast<uint32_t>(size));
}

void RiffWriter::PutJunk(size_t totalBytes) {
    if (totalBytes < 8)
        return;
    PutU32(MakeFourCC('J', 'U', 'N', 'K'));
    PutU32(static_cast<uint32_t>(totalBytes - 8));
    PutZeros(totalBytes - 8);
}

bool RiffWriter::WriteAt(uint64_t offset, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t done = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (done == 0) {
            errno = ENOSPC;
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

void RiffWriter::Patch(uint64_t offset, const void* data, size_t size) {
    if (fd_ < 0)
        return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    // The part that is still pending is changed in memory, the rest on disk.
    uint64_t end = offset + size;
    if (end > flushed_) {
        uint64_t from = offset > flushed_ ? offset : flushed_;
        if (end <= Tell())
            std::memcpy(pending_.data() + (from - flushed_), bytes + (from - offset), end - from);
        if (offset >= flushed_)
            return;
        size = static_cast<size_t>(flushed_ - offset);
    }
    int saved = errno;
    if (!WriteAt(offset, bytes, size)) {
        Fail(errno);
        return;
    }
    errno = saved;
}

void RiffWriter::PatchU32(uint64_t offset, uint32_t value) {
    uint8_t bytes[4];
    le::WriteU32(bytes, value);
    Patch(offset, bytes, 4);
}

bool RiffWriter::Flush() {
    if (fd_ < 0)
        return Fail(EBADF);
    if (error_ != 0) {
        errno = error_;
        return false;
    }
    if (pending_.empty())
        return true;
    const size_t done = WriteOut(pending_.data(), pending_.size());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    return error_ == 0;
}

size_t RiffWriter::WriteOut(const uint8_t* data, size_t size) {
    // Bytes that reached the file before a failure stay counted, so that a later Truncate
    // knows where the file really ends.
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<size_t>(n);
    }
    flushed_ += done;
    return done;
}

bool RiffWriter::Truncate(uint64_t offset) {
    if (fd_ < 0)
        return Fail(EBADF);
    if (offset >= flushed_) {
        if (offset - flushed_ < pending_.size())
            pending_.resize(static_cast<size_t>(offset - flushed_));
        return true;
    }
    pending_.clear();
    if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0)
        return Fail(errno);
    flushed_ = offset;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        return Fail(errno);
    return true;
}

bool RiffWriter::Close(bool sync) {
    if (fd_ < 0)
        return error_ == 0 ? Fail(EBADF) : Fail(error_);
    Flush();
    if (sync && error_ == 0 && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        Fail(errno);
    if (::close(fd_) != 0 && errno != EINTR)
        Fail(errno);
    fd_ = -1;
    if (error_ != 0) {
        errno = error_;
        return false;
    }
    return true;
}
