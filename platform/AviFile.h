#pragma once
// The AVI file services under their Windows names: a file is opened for writing, streams are
// created in it, a compressor can be put in front of a video stream, samples are appended, and
// the file is complete on disk when the last reference to it is released.
//
// Results: 0 (AVIERR_OK) on success, an AVIERR_* code otherwise; the system's reason stays in
// errno (ENOENT, EACCES, ENOSPC, EFBIG, ...) and is EINVAL / ENOMEM for the library's own
// refusals. No call throws or crashes on a failed write: a failed write leaves the file with
// every earlier whole sample readable, and its error is also reported by the release.
//
// Layout written: RIFF 'AVI ' with LIST 'hdrl' (avih, one LIST 'strl' per stream with strh,
// strf and room for an OpenDML 'indx', LIST 'odml' with dmlh), room for the data handed to
// AVIFileWriteData, LIST 'movi' with '##db' / '##dc' / '##tx' chunks and idx1. Past the
// OpenDML switch-over size the data continues in RIFF 'AVIX' lists indexed by 'ix##' chunks.
// Each sample is handed to the system before AVIStreamWrite returns, and the header is on disk
// from the start, so a process killed mid-run leaves a file readable up to its last sample.
//
// Threads: one file and its streams are used by one thread at a time; different files may be
// written on different threads at once. Twins of a stream's compressor belong to whichever
// thread uses them.

#include <cstdint>
#include <memory>

#include "platform/WinTypes.h"

class VideoCompressor;

using HRESULT = int32_t;
using ULONG = uint32_t;

struct AviFileObject;
struct AviStreamObject;
using PAVIFILE = AviFileObject*;
using PAVISTREAM = AviStreamObject*;

// Result codes, with their Windows values.
constexpr HRESULT MakeAviErr(uint32_t n) { return static_cast<HRESULT>(0x80044000u + n); }
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = MakeAviErr(101);
constexpr HRESULT AVIERR_BADFORMAT = MakeAviErr(102);
constexpr HRESULT AVIERR_MEMORY = MakeAviErr(103);
constexpr HRESULT AVIERR_INTERNAL = MakeAviErr(104);
constexpr HRESULT AVIERR_BADPARAM = MakeAviErr(106);
constexpr HRESULT AVIERR_BADSIZE = MakeAviErr(107);
constexpr HRESULT AVIERR_BADHANDLE = MakeAviErr(108);
constexpr HRESULT AVIERR_FILEWRITE = MakeAviErr(110);
constexpr HRESULT AVIERR_FILEOPEN = MakeAviErr(111);
constexpr HRESULT AVIERR_COMPRESSOR = MakeAviErr(112);
constexpr HRESULT AVIERR_NOCOMPRESSOR = MakeAviErr(113);

// Open modes.
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_CREATE = 0x1000;

// Stream types and the handler of uncompressed frames.
constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');
constexpr FOURCC streamtypeTEXT = mmioFOURCC('t', 'x', 't', 's');
constexpr FOURCC comptypeDIB = mmioFOURCC('D', 'I', 'B', ' ');

// The sample flag of AVIStreamWrite (and of the index).
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;

// AVICOMPRESSOPTIONS::dwFlags: dwKeyFrameEvery is set.
constexpr DWORD AVICOMPRESSF_KEYFRAMES = 0x00000004;

struct AVISTREAMINFOA {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;  // samples per second = dwRate / dwScale
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];
};

/// The options of the compressor put in front of a video stream; eleven 32-bit fields on
/// Windows. The two references are never followed by this library.
struct AVICOMPRESSOPTIONS {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwKeyFrameEvery;
    DWORD dwQuality;
    DWORD dwBytesPerSecond;
    DWORD dwFlags;
    void* lpFormat;
    DWORD cbFormat;
    void* lpParms;
    DWORD cbParms;
    DWORD dwInterleaveEvery;
};

/// Library initialisation; calls nest. Nothing here needs it, but it is counted so that
/// unbalanced use can be seen (AVIFileInitCount).
void AVIFileInit();
void AVIFileExit();
/// Number of AVIFileInit calls not yet matched by AVIFileExit in this process.
int AVIFileInitCount();

/// Creates (mode OF_WRITE | OF_CREATE) the file at path, truncating one that exists. The header
/// area is written with the first sample (or at the release of a file without samples), once
/// every stream and format is known. Reading is not supported (AVIERR_UNSUPPORTED). handler must
/// be null. On failure *file is null, the result is AVIERR_FILEOPEN (or AVIERR_BADPARAM) and
/// errno holds the reason.
HRESULT AVIFileOpenA(PAVIFILE* file, const char* path, UINT mode, void* handler);

/// Adds a stream ('vids' or 'txts'; dwScale and dwRate must not be 0) before the first sample
/// of the file is written. The stream holds a reference to the file.
HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info);

/// Puts the compressor options->fccHandler in front of a video stream. "DIB " (or 0) gives the
/// uncompressed path: frames pass as they are. AVIERR_NOCOMPRESSOR for a code the compressor
/// registry does not offer. The new stream holds a reference to the source stream.
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                                void* handler);

/// Sets the sample format at position 0, before the first sample. On a compressed stream the
/// format is the input's BITMAPINFOHEADER with its palette; the source stream then receives the
/// compressor's output format. On a text stream it is stored as it is.
HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, void* format, LONG size);

/// Writes samples at position start (-1 appends). Positions skipped over are filled with empty
/// samples; a position already written is taken as the next free one. On a compressed stream
/// each call takes one frame of the input format; AVIIF_KEYFRAME asks for a key frame, and the
/// compressor's answer decides the flag that is stored.
HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, const void* buffer, LONG bytes, DWORD flags,
                       LONG* samplesWritten, LONG* bytesWritten);

/// A twin of the compressor in front of a compressed stream (VideoCompressor::Twin), set up for
/// the stream's input format, for compressing its frames on another thread; null for
/// uncompressed frames, before the format is set, and for a compressor whose frames depend on
/// the frames before them.
std::unique_ptr<VideoCompressor> AVIStreamCompressorTwin(PAVISTREAM stream);
/// Writes the next frame of a compressed stream as the sample that a twin of its compressor made
/// from the frame's pixels (with its key answer): the file receives what AVIStreamWrite of those
/// pixels would have written.
HRESULT AVIStreamWriteCompressed(PAVISTREAM stream, LONG start, const void* sample, LONG bytes, bool key,
                                 LONG* bytesWritten);

/// Stores a chunk of file-level data (for example ckid "LIST" with an "INFO" list) in the header
/// area when it fits the room kept there, otherwise after the data.
HRESULT AVIFileWriteData(PAVIFILE file, DWORD ckid, const void* data, LONG size);

/// Drops one reference; returns the references left. When the last reference to a file goes
/// (the file's own and those its streams hold), the indexes are written, the headers completed
/// and the file closed.
ULONG AVIStreamRelease(PAVISTREAM stream);
ULONG AVIFileRelease(PAVIFILE file);

// Additions of this library.

/// The first error the file met (AVIERR_OK when none). After the last release the result of
/// completing the file is also known under the file's path: see AVIFileLastCloseResult.
HRESULT AVIFileStatus(PAVIFILE file);
/// Result of the last file completed on this thread (indexes, headers, close), with errno set
/// to its reason when it failed. Lets a caller that only releases learn that the file is not
/// whole.
HRESULT AVIFileLastCloseResult();

/// Size in bytes at which a RIFF list is closed and the data continues in a new RIFF 'AVIX'
/// (OpenDML). Default 1 GiB; 0 restores the default. Taken by files opened afterwards. The
/// environment variable PIXREEL_AVI_RIFF_LIMIT sets the default for the process.
void AVISetOpenDmlThreshold(uint64_t bytes);
