#pragma once
// A file written front to back in RIFF chunks, with places patched later. Appended bytes are
// collected in memory and handed to the system by Flush (the caller flushes at every sample
// boundary, so a killed process leaves only whole samples behind); patches of bytes already
// handed over go straight to their place. Every system call is checked: the first failure is
// kept with its errno, and every later call fails with it, so nothing after a hole is written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

class RiffWriter {
public:
    RiffWriter() = default;
    ~RiffWriter();
    RiffWriter(const RiffWriter&) = delete;
    RiffWriter& operator=(const RiffWriter&) = delete;

    /// Creates or truncates the file; false with errno set when it cannot be created.
    bool Create(const char* path);
    bool IsOpen() const { return fd_ >= 0; }

    /// Offset of the next appended byte.
    uint64_t Tell() const { return flushed_ + pending_.size(); }

    void PutBytes(const void* data, size_t size);
    void PutU16(uint16_t value);
    void PutU32(uint32_t value);
    void PutU64(uint64_t value);
    void PutFourCC(DWORD tag) { PutU32(tag); }
    void PutZeros(size_t count);

    /// Writes the tag and a zero size and returns the chunk's offset, for EndChunk.
    uint64_t BeginChunk(DWORD tag);
    /// Writes "LIST" (or "RIFF"), a zero size and the list type; returns the list's offset.
    uint64_t BeginList(DWORD listTag, DWORD listType);
    /// Pads the chunk to an even length and patches its size (the bytes after the 8-byte head).
    void EndChunk(uint64_t chunkOffset);
    /// Writes a whole 'JUNK' chunk of totalBytes (at least 8) bytes, head included.
    void PutJunk(size_t totalBytes);

    /// Overwrites bytes at an earlier offset; they may still be pending or already on disk.
    void Patch(uint64_t offset, const void* data, size_t size);
    void PatchU32(uint64_t offset, uint32_t value);

    /// Hands every pending byte to the system.
    bool Flush();
    /// Cuts the file back to offset (dropping pending bytes past it); used to remove a sample
    /// that could not be written whole.
    bool Truncate(uint64_t offset);
    /// Flushes, optionally fsyncs, and closes; false when any step (or an earlier one) failed.
    bool Close(bool sync);

    /// True until a system call fails or memory runs out; then the errno of that failure.
    bool Ok() const { return error_ == 0; }
    int Error() const { return error_; }
    /// Forgets a failure after the caller repaired its effect (Truncate back to a whole sample).
    void ClearError() { error_ = 0; }

private:
    bool Fail(int code);
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t size);
    // Hands bytes to the system at the end of the file; returns how many reached it (all of
    // them unless it failed).
    size_t WriteOut(const uint8_t* data, size_t size);

    int fd_ = -1;
    uint64_t flushed_ = 0;          // bytes already handed to the system
    std::vector<uint8_t> pending_;  // bytes from offset flushed_ on
    int error_ = 0;
};
