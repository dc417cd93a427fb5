#include "platform/AviFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "base/ByteOrder.h"
#include "platform/RiffWriter.h"
#include "platform/VideoCompressor.h"

namespace {

// ---- On-disk structures -------------------------------------------------------------------

constexpr DWORD kRiff = mmioFOURCC('R', 'I', 'F', 'F');
constexpr DWORD kList = mmioFOURCC('L', 'I', 'S', 'T');
constexpr DWORD kAvi = mmioFOURCC('A', 'V', 'I', ' ');
constexpr DWORD kAvix = mmioFOURCC('A', 'V', 'I', 'X');
constexpr DWORD kHdrl = mmioFOURCC('h', 'd', 'r', 'l');
constexpr DWORD kAvih = mmioFOURCC('a', 'v', 'i', 'h');
constexpr DWORD kStrl = mmioFOURCC('s', 't', 'r', 'l');
constexpr DWORD kStrh = mmioFOURCC('s', 't', 'r', 'h');
constexpr DWORD kStrf = mmioFOURCC('s', 't', 'r', 'f');
constexpr DWORD kIndx = mmioFOURCC('i', 'n', 'd', 'x');
constexpr DWORD kOdml = mmioFOURCC('o', 'd', 'm', 'l');
constexpr DWORD kDmlh = mmioFOURCC('d', 'm', 'l', 'h');
constexpr DWORD kMovi = mmioFOURCC('m', 'o', 'v', 'i');
constexpr DWORD kIdx1 = mmioFOURCC('i', 'd', 'x', '1');
constexpr DWORD kJunk = mmioFOURCC('J', 'U', 'N', 'K');

constexpr uint32_t kChunkHeadBytes = 8;  // tag and size
constexpr uint32_t kDmlhBytes = 248;     // dwTotalFrames and 61 reserved DWORDs

// avih offsets of the fields patched later.
constexpr uint32_t kAvihMaxBytesPerSec = 4;
constexpr uint32_t kAvihFlags = 12;
constexpr uint32_t kAvihTotalFrames = 16;
constexpr uint32_t kAvihSuggestedBuffer = 28;
// strh offsets of the fields patched later.
constexpr uint32_t kStrhLength = 32;
constexpr uint32_t kStrhSuggestedBuffer = 36;

constexpr DWORD AVIF_HASINDEX = 0x00000010;
constexpr DWORD AVIF_ISINTERLEAVED = 0x00000100;

// OpenDML super index: room for this many standard indexes, one per RIFF, is kept in each
// stream's header list; with the default 1 GiB per RIFF that is 256 GiB of data.
constexpr uint32_t kSuperIndexEntries = 256;
constexpr uint32_t kSuperIndexHeadBytes = 24;  // after the chunk head, before the entries
constexpr uint32_t kSuperIndexEntryBytes = 16;
constexpr uint32_t kSuperIndexBytes = kSuperIndexHeadBytes + kSuperIndexEntryBytes * kSuperIndexEntries;
constexpr uint32_t kStdIndexHeadBytes = 24;
constexpr uint32_t kStdIndexEntryBytes = 8;
constexpr uint32_t kIdx1EntryBytes = 16;
constexpr uint8_t AVI_INDEX_OF_INDEXES = 0x00;
constexpr uint8_t AVI_INDEX_OF_CHUNKS = 0x01;

// Room for the chunks handed to AVIFileWriteData, kept in the header area so that readers which
// stop at 'movi' still find them; an INFO list of three 128-byte texts takes 420 bytes.
constexpr uint32_t kExtraRoomBytes = 1024;
// The 'movi' list starts where its first chunk lands on this boundary.
constexpr uint64_t kMoviAlign = 2048;

constexpr uint64_t kDefaultRiffLimit = 1ull << 30;
// A RIFF must hold its headers and at least some data; and it can never exceed 4 GiB, so stay
// clear of the 32-bit size fields.
constexpr uint64_t kMinRiffLimit = 16384;
constexpr uint64_t kMaxRiffLimit = 0xFFFFFFFFull - (64u << 20);

std::atomic<uint64_t> gRiffLimit{0};
std::atomic<int> gInitCount{0};
thread_local HRESULT tLastCloseResult = AVIERR_OK;
thread_local int tLastCloseErrno = 0;

uint64_t DefaultRiffLimit() {
    const char* text = std::getenv("PIXREEL_AVI_RIFF_LIMIT");
    if (text && *text) {
        char* end = nullptr;
        unsigned long long value = std::strtoull(text, &end, 10);
        if (end != text && value > 0)
            return value;
    }
    return kDefaultRiffLimit;
}

// The RIFF size limit a file opened now takes.
uint64_t RiffLimitForNewFile() {
    uint64_t limit = gRiffLimit.load();
    if (limit == 0)
        limit = DefaultRiffLimit();
    if (limit < kMinRiffLimit)
        limit = kMinRiffLimit;
    if (limit > kMaxRiffLimit)
        limit = kMaxRiffLimit;
    return limit;
}

HRESULT Fail(HRESULT result, int code) {
    errno = code;
    return result;
}

// Bytes a chunk of this much data takes in the file: head, data and the pad to even length.
uint64_t ChunkBytes(uint32_t dataBytes) {
    return kChunkHeadBytes + static_cast<uint64_t>(dataBytes) + (dataBytes & 1);
}

// A whole chunk in memory, for a place that is patched rather than appended.
std::vector<uint8_t> MakeChunk(DWORD ckid, const void* data, uint32_t size) {
    std::vector<uint8_t> chunk(static_cast<size_t>(ChunkBytes(size)), 0);
    le::WriteU32(chunk.data(), ckid);
    le::WriteU32(chunk.data() + 4, size);
    if (size)
        std::memcpy(chunk.data() + kChunkHeadBytes, data, size);
    return chunk;
}

// Width and height (rows counted either way) of a video format's BITMAPINFOHEADER.
bool DibSize(const std::vector<uint8_t>& format, LONG& width, LONG& height) {
    if (format.size() < sizeof(BITMAPINFOHEADER))
        return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, format.data(), sizeof h);
    width = h.biWidth;
    height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    return true;
}

// ---- Per-file and per-stream state --------------------------------------------------------

struct StdIndexEntry {
    uint64_t dataOffset;  // absolute offset of the chunk's data
    uint32_t size;
    bool key;
};

struct SuperIndexEntry {
    uint64_t offset;  // absolute offset of the ix## chunk
    uint32_t size;    // its size, head included
    uint32_t duration;
};

struct StreamState {
    int number = 0;
    AVISTREAMINFOA info{};
    std::vector<uint8_t> format;
    DWORD chunkId = 0;           // '##db', '##dc', '##tx', ...
    uint32_t length = 0;         // next free position
    uint32_t framesInFirstRiff = 0;
    uint32_t maxChunkBytes = 0;
    uint64_t strhOffset = 0;     // offsets of the header chunks, patched later
    uint64_t indexRoomOffset = 0;
    std::vector<StdIndexEntry> segment;  // chunks of the current RIFF
    std::vector<SuperIndexEntry> superIndex;
};

struct Idx1Entry {
    DWORD ckid;
    DWORD flags;
    uint32_t offset;  // from the 'movi' list type
    uint32_t size;
};

struct PendingData {
    DWORD ckid;
    std::vector<uint8_t> bytes;
};

// A compressor put in front of a video stream, and the input format it was started for.
struct CompressorState {
    bool passThrough = false;  // uncompressed frames ("DIB ")
    AVICOMPRESSOPTIONS options{};
    std::unique_ptr<VideoCompressor> compressor;
    DibLayout input;
    bool formatSet = false;
    uint32_t framesIn = 0;
    std::vector<uint8_t> packet;
};

}  // namespace

struct AviFileObject {
    int refs = 1;
    RiffWriter out;
    std::vector<std::unique_ptr<StreamState>> streams;
    bool headerWritten = false;
    HRESULT status = AVIERR_OK;  // first failure
    int statusErrno = 0;
    uint64_t riffLimit = kDefaultRiffLimit;

    // Header offsets, patched later.
    uint64_t avihOffset = 0;
    uint64_t dmlhOffset = 0;
    uint64_t extraRoomOffset = 0;  // the JUNK chunk kept for AVIFileWriteData
    uint32_t extraRoomLeft = kExtraRoomBytes;  // bytes of it still free, head included
    std::vector<uint8_t> roomChunks;  // chunks placed in the room before the header was written

    // The RIFF being written.
    int riffCount = 0;
    uint64_t riffOffset = 0;
    uint64_t moviOffset = 0;
    uint64_t goodEnd = 0;  // end of the last whole chunk
    std::vector<Idx1Entry> idx1;  // first RIFF only
    bool openDml = false;

    std::map<uint64_t, uint64_t> bytesPerSecond;  // second -> bytes of all streams
    std::vector<PendingData> laterData;           // data that did not fit the header room
    std::chrono::steady_clock::time_point lastPatch{};
};

struct AviStreamObject {
    int refs = 1;
    AviFileObject* file = nullptr;
    StreamState* state = nullptr;
    AviStreamObject* source = nullptr;  // set on a compressed stream, which writes into its source
    CompressorState compression;        // compressed streams only
};

namespace {

// ---- Results ------------------------------------------------------------------------------

void Record(AviFileObject& f, HRESULT result, int code) {
    if (f.status == AVIERR_OK) {
        f.status = result;
        f.statusErrno = code;
    }
}

// Fails the call and, from now on, the file.
HRESULT FailFile(AviFileObject& f, HRESULT result, int code) {
    Record(f, result, code);
    return Fail(result, code);
}

// The file's first failure (with its errno), or AVIERR_OK.
HRESULT FileResult(const AviFileObject& f) {
    return f.status == AVIERR_OK ? AVIERR_OK : Fail(f.status, f.statusErrno);
}

// After a failed write: cuts the file back to the end of its last whole chunk, so that
// everything before it stays readable, and puts the open lists back to "size unknown", as while
// writing. The failure becomes the file's.
HRESULT RollBack(AviFileObject& f) {
    RiffWriter& out = f.out;
    int code = out.Error();
    out.ClearError();
    out.Truncate(f.goodEnd);
    out.PatchU32(f.moviOffset + 4, 0);
    out.PatchU32(f.riffOffset + 4, 0);
    return FailFile(f, AVIERR_FILEWRITE, code);
}

// ---- The header ---------------------------------------------------------------------------

char TensDigit(int number) { return static_cast<char>('0' + number / 10); }
char UnitsDigit(int number) { return static_cast<char>('0' + number % 10); }

DWORD ChunkIdFor(const StreamState& s) {
    char twoCc[2] = {'d', 'c'};
    if (s.info.fccType == streamtypeVIDEO) {
        DWORD compression = BI_RGB;
        if (s.format.size() >= sizeof(BITMAPINFOHEADER))
            std::memcpy(&compression, s.format.data() + offsetof(BITMAPINFOHEADER, biCompression), sizeof compression);
        twoCc[1] = compression == BI_RGB ? 'b' : 'c';
    } else if (s.info.fccType == streamtypeAUDIO) {
        twoCc[0] = 'w';
        twoCc[1] = 'b';
    } else if (s.info.fccType == streamtypeTEXT) {
        twoCc[0] = 't';
        twoCc[1] = 'x';
    }
    return mmioFOURCC(TensDigit(s.number), UnitsDigit(s.number), twoCc[0], twoCc[1]);
}

const StreamState* MainVideo(const AviFileObject& f) {
    for (const auto& s : f.streams)
        if (s->info.fccType == streamtypeVIDEO)
            return s.get();
    return f.streams.empty() ? nullptr : f.streams.front().get();
}

// The main header: frame period and size of the main video stream; counts, rates and flags are
// patched later.
void WriteAvih(AviFileObject& f) {
    RiffWriter& out = f.out;
    const StreamState* video = MainVideo(f);
    LONG width = 0, height = 0;
    uint32_t microSecPerFrame = 0;
    if (video) {
        const AVISTREAMINFOA& info = video->info;
        if (info.fccType != streamtypeVIDEO || !DibSize(video->format, width, height)) {
            width = info.rcFrame.right - info.rcFrame.left;
            height = info.rcFrame.bottom - info.rcFrame.top;
        }
        if (info.dwRate != 0)
            microSecPerFrame = static_cast<uint32_t>((1000000ull * info.dwScale + info.dwRate / 2) / info.dwRate);
    }
    uint64_t avih = out.BeginChunk(kAvih);
    f.avihOffset = avih + kChunkHeadBytes;
    out.PutU32(microSecPerFrame);
    out.PutU32(0);  // dwMaxBytesPerSec, patched
    out.PutU32(0);  // dwPaddingGranularity
    out.PutU32(0);  // dwFlags, patched when the index is written
    out.PutU32(0);  // dwTotalFrames, patched
    out.PutU32(0);  // dwInitialFrames
    out.PutU32(static_cast<uint32_t>(f.streams.size()));
    out.PutU32(0);  // dwSuggestedBufferSize, patched
    out.PutU32(static_cast<uint32_t>(width));
    out.PutU32(static_cast<uint32_t>(height));
    out.PutZeros(16);  // dwReserved
    out.EndChunk(avih);
}

void PutStrh(RiffWriter& out, const StreamState& s) {
    const AVISTREAMINFOA& i = s.info;
    out.PutU32(i.fccType);
    out.PutU32(i.fccHandler);
    out.PutU32(i.dwFlags);
    out.PutU16(i.wPriority);
    out.PutU16(i.wLanguage);
    out.PutU32(i.dwInitialFrames);
    out.PutU32(i.dwScale);
    out.PutU32(i.dwRate);
    out.PutU32(i.dwStart);
    out.PutU32(s.length);           // dwLength, patched
    out.PutU32(s.maxChunkBytes);    // dwSuggestedBufferSize, patched
    out.PutU32(i.dwQuality);
    out.PutU32(i.dwSampleSize);
    // rcFrame is stored as four 16-bit values.
    out.PutU16(static_cast<uint16_t>(i.rcFrame.left));
    out.PutU16(static_cast<uint16_t>(i.rcFrame.top));
    out.PutU16(static_cast<uint16_t>(i.rcFrame.right));
    out.PutU16(static_cast<uint16_t>(i.rcFrame.bottom));
}

// A stream's header list: its header, its format and room for its OpenDML super index.
void WriteStrl(RiffWriter& out, StreamState& s) {
    s.chunkId = ChunkIdFor(s);
    uint64_t strl = out.BeginList(kList, kStrl);
    uint64_t strh = out.BeginChunk(kStrh);
    s.strhOffset = strh + kChunkHeadBytes;
    PutStrh(out, s);
    out.EndChunk(strh);
    uint64_t strf = out.BeginChunk(kStrf);
    out.PutBytes(s.format.data(), s.format.size());
    out.EndChunk(strf);
    // The room stays JUNK unless the file outgrows one RIFF.
    s.indexRoomOffset = out.Tell();
    out.PutJunk(kChunkHeadBytes + kSuperIndexBytes);
    out.EndChunk(strl);
}

void WriteOdml(AviFileObject& f) {
    RiffWriter& out = f.out;
    uint64_t odml = out.BeginList(kList, kOdml);
    uint64_t dmlh = out.BeginChunk(kDmlh);
    f.dmlhOffset = dmlh + kChunkHeadBytes;
    out.PutZeros(kDmlhBytes);  // dwTotalFrames, patched
    out.EndChunk(dmlh);
    out.EndChunk(odml);
}

// The room for AVIFileWriteData, holding what it was handed so far; the rest is a JUNK chunk.
void WriteExtraRoom(AviFileObject& f) {
    RiffWriter& out = f.out;
    f.extraRoomOffset = out.Tell();
    out.PutBytes(f.roomChunks.data(), f.roomChunks.size());
    if (f.extraRoomLeft > 0)
        out.PutJunk(f.extraRoomLeft);
    f.roomChunks.clear();
}

// Pads so that the first chunk of 'movi' starts on the boundary; a JUNK chunk needs 8 bytes.
void PadForMovi(RiffWriter& out) {
    uint64_t firstChunk = out.Tell() + 12;  // after the 'movi' list's head and type
    uint64_t pad = (kMoviAlign - firstChunk % kMoviAlign) % kMoviAlign;
    if (pad != 0 && pad < kChunkHeadBytes)
        pad += kMoviAlign;
    if (pad != 0)
        out.PutJunk(static_cast<size_t>(pad));
}

// Writes everything before the first chunk of data: the header list with room for what is
// patched or added later, and the opening of the first 'movi' list.
void WriteHeader(AviFileObject& f) {
    RiffWriter& out = f.out;
    // Sizes of the open RIFF and 'movi' stay 0 while writing (patched when the RIFF is closed):
    // readers take 0 as "up to the end of the file", which keeps a file whose writer was killed
    // readable.
    f.riffOffset = out.BeginList(kRiff, kAvi);
    f.riffCount = 1;
    uint64_t hdrl = out.BeginList(kList, kHdrl);
    WriteAvih(f);
    for (auto& s : f.streams)
        WriteStrl(out, *s);
    WriteOdml(f);
    out.EndChunk(hdrl);
    WriteExtraRoom(f);
    PadForMovi(out);
    f.moviOffset = out.BeginList(kList, kMovi);
    f.headerWritten = true;
    if (out.Flush())
        f.goodEnd = out.Tell();
}

// Puts the counts known so far into the header; cheap, done now and then while writing.
void PatchCounts(AviFileObject& f) {
    RiffWriter& out = f.out;
    const StreamState* video = MainVideo(f);
    uint32_t firstRiffFrames = video ? (f.riffCount > 1 ? video->framesInFirstRiff : video->length) : 0;
    uint32_t largest = 0;
    for (const auto& s : f.streams) {
        out.PatchU32(s->strhOffset + kStrhLength, s->length);
        out.PatchU32(s->strhOffset + kStrhSuggestedBuffer, s->maxChunkBytes);
        if (s->maxChunkBytes > largest)
            largest = s->maxChunkBytes;
    }
    uint64_t peak = 0;
    for (const auto& [second, bytes] : f.bytesPerSecond)
        if (bytes > peak)
            peak = bytes;
    out.PatchU32(f.avihOffset + kAvihMaxBytesPerSec, peak > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(peak));
    out.PatchU32(f.avihOffset + kAvihTotalFrames, firstRiffFrames);
    out.PatchU32(f.avihOffset + kAvihSuggestedBuffer, largest == 0 ? 0 : largest + kChunkHeadBytes);
    out.PatchU32(f.dmlhOffset, video ? video->length : 0);
    f.lastPatch = std::chrono::steady_clock::now();
}

// ---- Indexes ------------------------------------------------------------------------------

uint64_t Idx1Bytes(const AviFileObject& f, size_t extraEntries) {
    return kChunkHeadBytes + kIdx1EntryBytes * static_cast<uint64_t>(f.idx1.size() + extraEntries);
}

uint64_t StdIndexBytes(const StreamState& s, size_t extraEntries) {
    return kChunkHeadBytes + kStdIndexHeadBytes +
           kStdIndexEntryBytes * static_cast<uint64_t>(s.segment.size() + extraEntries);
}

// Writes one 'ix##' chunk for the stream's chunks in the current RIFF; returns its entry for
// the stream's super index (size 0 when the stream has no chunk in this RIFF).
SuperIndexEntry WriteStdIndex(AviFileObject& f, const StreamState& s) {
    if (s.segment.empty())
        return {0, 0, 0};
    RiffWriter& out = f.out;
    uint64_t base = f.moviOffset;
    uint64_t chunk = out.BeginChunk(mmioFOURCC('i', 'x', TensDigit(s.number), UnitsDigit(s.number)));
    const uint8_t subTypeAndType[2] = {0, AVI_INDEX_OF_CHUNKS};
    out.PutU16(2);  // wLongsPerEntry
    out.PutBytes(subTypeAndType, 2);
    out.PutU32(static_cast<uint32_t>(s.segment.size()));
    out.PutU32(s.chunkId);
    out.PutU64(base);
    out.PutU32(0);  // dwReserved
    for (const StdIndexEntry& e : s.segment) {
        out.PutU32(static_cast<uint32_t>(e.dataOffset - base));
        out.PutU32(e.size | (e.key ? 0u : 0x80000000u));  // bit 31 marks a delta frame
    }
    out.EndChunk(chunk);
    return {chunk, static_cast<uint32_t>(out.Tell() - chunk), static_cast<uint32_t>(s.segment.size())};
}

// Turns the room kept in the stream header into the super index, or rewrites it.
void PatchSuperIndex(AviFileObject& f, const StreamState& s) {
    std::vector<uint8_t> bytes(kChunkHeadBytes + kSuperIndexHeadBytes + kSuperIndexEntryBytes * s.superIndex.size());
    auto u32 = [&](size_t at, uint32_t v) { le::WriteU32(bytes.data() + at, v); };
    u32(0, kIndx);
    u32(4, kSuperIndexBytes);
    bytes[8] = 4;  // wLongsPerEntry
    bytes[11] = AVI_INDEX_OF_INDEXES;
    u32(12, static_cast<uint32_t>(s.superIndex.size()));
    u32(16, s.chunkId);
    for (size_t i = 0; i < s.superIndex.size(); ++i) {
        size_t at = kChunkHeadBytes + kSuperIndexHeadBytes + kSuperIndexEntryBytes * i;
        u32(at, static_cast<uint32_t>(s.superIndex[i].offset));
        u32(at + 4, static_cast<uint32_t>(s.superIndex[i].offset >> 32));
        u32(at + 8, s.superIndex[i].size);
        u32(at + 12, s.superIndex[i].duration);
    }
    f.out.Patch(s.indexRoomOffset, bytes.data(), bytes.size());
}

void WriteIdx1(AviFileObject& f) {
    RiffWriter& out = f.out;
    uint64_t chunk = out.BeginChunk(kIdx1);
    for (const Idx1Entry& e : f.idx1) {
        out.PutU32(e.ckid);
        out.PutU32(e.flags);
        out.PutU32(e.offset);
        out.PutU32(e.size);
    }
    out.EndChunk(chunk);
}

// ---- Data ---------------------------------------------------------------------------------

// Closes the open RIFF (indexes, sizes) and starts an 'AVIX' one. Nothing of the file's state
// changes unless all of it reached the file; otherwise the file is cut back to its last chunk.
HRESULT StartNextRiff(AviFileObject& f) {
    RiffWriter& out = f.out;
    std::vector<SuperIndexEntry> added;
    for (auto& s : f.streams)
        added.push_back(WriteStdIndex(f, *s));
    out.EndChunk(f.moviOffset);
    if (f.riffCount == 1)
        WriteIdx1(f);
    out.EndChunk(f.riffOffset);
    uint64_t riff = out.BeginList(kRiff, kAvix);  // sizes 0 while writing, as in the first RIFF
    uint64_t movi = out.BeginList(kList, kMovi);
    if (!out.Flush())
        return RollBack(f);
    f.goodEnd = out.Tell();
    for (size_t i = 0; i < f.streams.size(); ++i) {
        StreamState& s = *f.streams[i];
        if (added[i].size != 0)
            s.superIndex.push_back(added[i]);
        s.segment.clear();
        if (f.riffCount == 1)
            s.framesInFirstRiff = s.length;
    }
    f.idx1.clear();
    f.idx1.shrink_to_fit();
    f.openDml = true;
    for (auto& s : f.streams)
        PatchSuperIndex(f, *s);
    f.riffOffset = riff;
    f.moviOffset = movi;
    ++f.riffCount;
    PatchCounts(f);
    return AVIERR_OK;
}

// Starts the next RIFF when this chunk and the indexes that close the RIFF would pass the limit.
HRESULT MakeRoomFor(AviFileObject& f, const StreamState& s, uint64_t chunkBytes) {
    const RiffWriter& out = f.out;
    uint64_t riffBytes = out.Tell() - f.riffOffset - kChunkHeadBytes;
    uint64_t indexBytes = f.riffCount == 1 ? Idx1Bytes(f, 1) : 0;
    for (const auto& other : f.streams)
        indexBytes += StdIndexBytes(*other, other.get() == &s ? 1 : 0);
    bool movieHasData = out.Tell() > f.moviOffset + 12;
    if (!movieHasData || riffBytes + chunkBytes + indexBytes <= f.riffLimit)
        return AVIERR_OK;
    // Each stream needs an entry for the RIFF being closed and one for the next.
    for (const auto& other : f.streams)
        if (other->superIndex.size() + 2 > kSuperIndexEntries)
            return FailFile(f, AVIERR_FILEWRITE, EFBIG);
    return StartNextRiff(f);
}

// Enters a chunk that reached the file into the indexes and the running counts.
void Account(AviFileObject& f, StreamState& s, uint64_t chunk, uint32_t size, bool key) {
    s.segment.push_back({chunk + kChunkHeadBytes, size, key});
    if (f.riffCount == 1) {
        DWORD flags = key ? AVIIF_KEYFRAME : 0;
        f.idx1.push_back({s.chunkId, flags, static_cast<uint32_t>(chunk - (f.moviOffset + kChunkHeadBytes)), size});
    }
    if (size > s.maxChunkBytes)
        s.maxChunkBytes = size;
    uint64_t second = s.info.dwRate ? static_cast<uint64_t>(s.length) * s.info.dwScale / s.info.dwRate : 0;
    f.bytesPerSecond[second] += ChunkBytes(size);
    ++s.length;
}

// Appends one chunk of a stream (size may be 0 for a skipped position) and hands it to the
// system. On failure the file is cut back to the last whole chunk.
HRESULT AppendChunk(AviFileObject& f, StreamState& s, const void* data, uint32_t size, bool key) {
    RiffWriter& out = f.out;
    if (f.status != AVIERR_OK)
        return FileResult(f);
    if (!f.headerWritten)
        WriteHeader(f);
    HRESULT room = MakeRoomFor(f, s, ChunkBytes(size));
    if (room != AVIERR_OK)
        return room;

    uint64_t chunk = out.BeginChunk(s.chunkId);
    out.PutBytes(data, size);
    out.EndChunk(chunk);
    if (!out.Flush())
        return RollBack(f);
    f.goodEnd = out.Tell();
    Account(f, s, chunk, size, key);

    if (std::chrono::steady_clock::now() - f.lastPatch > std::chrono::seconds(1))
        PatchCounts(f);
    if (!out.Ok())
        return FailFile(f, AVIERR_FILEWRITE, out.Error());
    return AVIERR_OK;
}

HRESULT WriteSamples(AviFileObject& f, StreamState& s, LONG start, const void* data, uint32_t size, bool key) {
    // Positions skipped over get empty chunks so that every sample keeps its time; a position
    // already taken moves the sample to the next free one.
    if (start >= 0) {
        uint32_t position = static_cast<uint32_t>(start);
        while (s.length < position) {
            bool fillerKey = s.info.fccType != streamtypeVIDEO;
            HRESULT hr = AppendChunk(f, s, nullptr, 0, fillerKey);
            if (hr != AVIERR_OK)
                return hr;
        }
    }
    return AppendChunk(f, s, data, size, key);
}

// Puts a chunk handed to AVIFileWriteData into the header room, which it fits.
HRESULT PutInRoom(AviFileObject& f, std::vector<uint8_t> chunk) {
    uint32_t rest = f.extraRoomLeft - static_cast<uint32_t>(chunk.size());
    if (!f.headerWritten) {
        f.roomChunks.insert(f.roomChunks.end(), chunk.begin(), chunk.end());
        f.extraRoomLeft = rest;
        return AVIERR_OK;
    }
    uint64_t at = f.extraRoomOffset + (kExtraRoomBytes - f.extraRoomLeft);
    if (rest >= kChunkHeadBytes) {
        // What is left of the room stays a JUNK chunk.
        uint8_t junk[kChunkHeadBytes];
        le::WriteU32(junk, kJunk);
        le::WriteU32(junk + 4, rest - kChunkHeadBytes);
        chunk.insert(chunk.end(), junk, junk + kChunkHeadBytes);
    }
    f.out.Patch(at, chunk.data(), chunk.size());
    if (!f.out.Ok())
        return FailFile(f, AVIERR_FILEWRITE, f.out.Error());
    f.extraRoomLeft = rest;
    return AVIERR_OK;
}

// ---- Completing the file ------------------------------------------------------------------

// Closes the 'movi' list and writes the indexes and the data kept for later; false when they
// did not all reach the file.
bool WriteIndexes(AviFileObject& f) {
    RiffWriter& out = f.out;
    if (f.openDml) {
        for (auto& s : f.streams) {
            SuperIndexEntry entry = WriteStdIndex(f, *s);
            if (entry.size != 0)
                s->superIndex.push_back(entry);
        }
    }
    out.EndChunk(f.moviOffset);
    if (f.riffCount == 1)
        WriteIdx1(f);
    for (const PendingData& d : f.laterData) {
        uint64_t chunk = out.BeginChunk(d.ckid);
        out.PutBytes(d.bytes.data(), d.bytes.size());
        out.EndChunk(chunk);
    }
    return out.Flush();
}

// Completes the file: indexes, header counts and sizes, the data kept for later; then closes.
HRESULT Finish(AviFileObject& f) {
    RiffWriter& out = f.out;
    if (!out.IsOpen())
        return FileResult(f);
    if (!f.headerWritten)
        WriteHeader(f);

    // After a failed write the file ends with the last whole chunk; try to complete it all the
    // same, and at worst leave it without the trailing index (readers scan the data instead).
    out.ClearError();
    if (WriteIndexes(f)) {
        out.EndChunk(f.riffOffset);
        if (f.openDml)
            for (auto& s : f.streams)
                PatchSuperIndex(f, *s);
        out.PatchU32(f.avihOffset + kAvihFlags, AVIF_HASINDEX | AVIF_ISINTERLEAVED);
    } else {
        RollBack(f);
        // The movi list and the RIFF end where the data ends; only the index is missing.
        out.PatchU32(f.moviOffset + 4, static_cast<uint32_t>(f.goodEnd - f.moviOffset - kChunkHeadBytes));
        out.PatchU32(f.riffOffset + 4, static_cast<uint32_t>(f.goodEnd - f.riffOffset - kChunkHeadBytes));
    }
    PatchCounts(f);
    if (!out.Close(false))
        Record(f, AVIERR_FILEWRITE, out.Error());
    return FileResult(f);
}

void ReleaseFileRef(AviFileObject* f) {
    if (--f->refs > 0)
        return;
    HRESULT result = Finish(*f);
    tLastCloseResult = result;
    tLastCloseErrno = result == AVIERR_OK ? 0 : errno;
    delete f;
    if (result != AVIERR_OK)
        errno = tLastCloseErrno;
}

// ---- Compressed streams -------------------------------------------------------------------

bool ValidStream(PAVISTREAM stream) {
    return stream != nullptr && stream->refs > 0 && stream->file != nullptr;
}

HRESULT StartCompressor(CompressorState& c, const DibLayout& layout, const AVISTREAMINFOA& info) {
    CompressSettings settings;
    settings.quality = c.options.dwQuality;
    if ((c.options.dwFlags & AVICOMPRESSF_KEYFRAMES) && c.options.dwKeyFrameEvery > 0)
        settings.keyFrameEvery = c.options.dwKeyFrameEvery;
    settings.rate = info.dwRate;
    settings.scale = info.dwScale;
    LRESULT began = c.compressor->Begin(layout, settings);
    if (began == ICERR_OK)
        return AVIERR_OK;
    return began == ICERR_BADFORMAT ? Fail(AVIERR_BADFORMAT, EINVAL) : Fail(AVIERR_COMPRESSOR, errno ? errno : EINVAL);
}

// The input format of a compressed stream: the compressor is started for it, and the stream
// stores the compressor's output format (uncompressed, the input format itself).
HRESULT SetCompressedFormat(AviStreamObject& stream, const void* format, LONG size, std::vector<uint8_t>& stored) {
    CompressorState& c = stream.compression;
    StreamState& s = *stream.state;
    DibLayout layout;
    if (static_cast<size_t>(size) < sizeof(BITMAPINFOHEADER) ||
        !ParseDibFormat(static_cast<const BITMAPINFOHEADER*>(format), static_cast<size_t>(size), layout))
        return Fail(AVIERR_BADFORMAT, EINVAL);
    if (c.formatSet || stream.file->headerWritten)
        return Fail(AVIERR_UNSUPPORTED, EINVAL);
    if (c.passThrough) {
        const auto* bytes = static_cast<const uint8_t*>(format);
        stored.assign(bytes, bytes + size);
        s.info.fccHandler = comptypeDIB;
    } else {
        HRESULT started = StartCompressor(c, layout, s.info);
        if (started != AVIERR_OK)
            return started;
        stored = c.compressor->OutputFormat();
        s.info.fccHandler = c.options.fccHandler;
    }
    c.input = std::move(layout);
    c.formatSet = true;
    if (s.info.dwQuality == 0 && c.options.dwQuality <= 10000)
        s.info.dwQuality = c.options.dwQuality;
    return AVIERR_OK;
}

// Whether a compressed stream can take a frame of this many bytes now: its format is set, the
// frame is whole, and the file has not failed.
HRESULT CheckFrameInput(AviStreamObject& stream, LONG bytes) {
    const CompressorState& c = stream.compression;
    if (!c.formatSet)
        return Fail(AVIERR_BADFORMAT, EINVAL);
    if (static_cast<uint64_t>(bytes) < c.input.imageBytes)
        return Fail(AVIERR_BADSIZE, EINVAL);
    if (stream.file->status != AVIERR_OK)
        return FileResult(*stream.file);
    return AVIERR_OK;
}

// A frame is a key frame when the caller asks for one, when it is the stream's first, and every
// dwKeyFrameEvery frames when the options ask for key frames.
bool ForceKeyFrame(const CompressorState& c, bool key) {
    const DWORD every = (c.options.dwFlags & AVICOMPRESSF_KEYFRAMES) ? c.options.dwKeyFrameEvery : 0;
    return key || c.framesIn == 0 || (every > 0 && c.framesIn % every == 0);
}

// Turns one input frame of a compressed stream into the sample to write (data, size, key).
HRESULT CompressFrame(AviStreamObject& stream, const void* buffer, LONG bytes, const void*& data, uint32_t& size,
                      bool& key) {
    if (HRESULT input = CheckFrameInput(stream, bytes); input != AVIERR_OK)
        return input;
    CompressorState& c = stream.compression;
    if (c.passThrough) {
        // An uncompressed frame stands on its own.
        size = static_cast<uint32_t>(c.input.imageBytes);
        key = true;
    } else {
        const bool forceKey = ForceKeyFrame(c, key);
        LRESULT done = CompressFrameWith(*c.compressor, static_cast<const uint8_t*>(buffer), c.input.imageBytes,
                                         forceKey, c.packet, key);
        if (done != ICERR_OK)
            return Fail(AVIERR_COMPRESSOR, errno ? errno : EIO);
        if (c.packet.size() > 0xFFFFFFF0u)
            return Fail(AVIERR_BADSIZE, EFBIG);
        data = c.packet.data();
        size = static_cast<uint32_t>(c.packet.size());
    }
    ++c.framesIn;
    return AVIERR_OK;
}

}  // namespace

// ---- Library ------------------------------------------------------------------------------

void AVIFileInit() { ++gInitCount; }

void AVIFileExit() {
    int count = gInitCount.load();
    while (count > 0 && !gInitCount.compare_exchange_weak(count, count - 1)) {
    }
}

int AVIFileInitCount() { return gInitCount.load(); }

void AVISetOpenDmlThreshold(uint64_t bytes) { gRiffLimit = bytes; }

HRESULT AVIFileLastCloseResult() {
    if (tLastCloseResult != AVIERR_OK)
        errno = tLastCloseErrno;
    return tLastCloseResult;
}

// ---- Files --------------------------------------------------------------------------------

HRESULT AVIFileOpenA(PAVIFILE* file, const char* path, UINT mode, void* handler) {
    if (!file)
        return Fail(AVIERR_BADPARAM, EINVAL);
    *file = nullptr;
    if (!path || !*path || handler != nullptr)
        return Fail(AVIERR_BADPARAM, EINVAL);
    if (!(mode & OF_CREATE) || !(mode & (OF_WRITE | OF_READWRITE)))
        return Fail(AVIERR_UNSUPPORTED, ENOTSUP);
    auto* f = new (std::nothrow) AviFileObject;
    if (!f)
        return Fail(AVIERR_MEMORY, ENOMEM);
    if (!f->out.Create(path)) {
        int code = errno;
        delete f;
        return Fail(AVIERR_FILEOPEN, code);
    }
    f->riffLimit = RiffLimitForNewFile();
    f->lastPatch = std::chrono::steady_clock::now();
    *file = f;
    return AVIERR_OK;
}

HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOA* info) {
    if (stream)
        *stream = nullptr;
    if (!file || file->refs <= 0)
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (!stream || !info || info->dwScale == 0 || info->dwRate == 0)
        return Fail(AVIERR_BADPARAM, EINVAL);
    if (info->fccType != streamtypeVIDEO && info->fccType != streamtypeTEXT && info->fccType != streamtypeAUDIO)
        return Fail(AVIERR_UNSUPPORTED, EINVAL);
    // Two decimal digits name a stream in its chunk ids.
    if (file->headerWritten || file->streams.size() >= 100)
        return Fail(AVIERR_UNSUPPORTED, EINVAL);
    auto* handle = new (std::nothrow) AviStreamObject;
    if (!handle)
        return Fail(AVIERR_MEMORY, ENOMEM);
    try {
        auto state = std::make_unique<StreamState>();
        state->number = static_cast<int>(file->streams.size());
        state->info = *info;
        state->info.szName[sizeof state->info.szName - 1] = '\0';
        handle->state = state.get();
        file->streams.push_back(std::move(state));
    } catch (const std::bad_alloc&) {
        delete handle;
        return Fail(AVIERR_MEMORY, ENOMEM);
    }
    handle->file = file;
    ++file->refs;
    *stream = handle;
    return AVIERR_OK;
}

HRESULT AVIFileWriteData(PAVIFILE file, DWORD ckid, const void* data, LONG size) {
    if (!file || file->refs <= 0)
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (size < 0 || (size > 0 && !data))
        return Fail(AVIERR_BADPARAM, EINVAL);
    uint32_t bytes = static_cast<uint32_t>(size);
    uint64_t chunkBytes = ChunkBytes(bytes);
    uint32_t left = file->extraRoomLeft;
    try {
        // Into the header room when it fits and leaves nothing or a whole JUNK chunk after it.
        if (chunkBytes == left || chunkBytes + kChunkHeadBytes <= left)
            return PutInRoom(*file, MakeChunk(ckid, data, bytes));
        const auto* begin = static_cast<const uint8_t*>(data);
        file->laterData.push_back({ckid, std::vector<uint8_t>(begin, begin + bytes)});
    } catch (const std::bad_alloc&) {
        return Fail(AVIERR_MEMORY, ENOMEM);
    }
    return AVIERR_OK;
}

HRESULT AVIFileStatus(PAVIFILE file) {
    if (!file || file->refs <= 0)
        return Fail(AVIERR_BADHANDLE, EBADF);
    return FileResult(*file);
}

ULONG AVIFileRelease(PAVIFILE file) {
    if (!file || file->refs <= 0)
        return 0;
    int left = file->refs - 1;
    ReleaseFileRef(file);
    return static_cast<ULONG>(left);
}

// ---- Streams ------------------------------------------------------------------------------

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options,
                                void* handler) {
    if (compressed)
        *compressed = nullptr;
    if (!compressed || !options || handler != nullptr)
        return Fail(AVIERR_BADPARAM, EINVAL);
    if (!ValidStream(source) || source->source != nullptr)
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (source->state->info.fccType != streamtypeVIDEO)
        return Fail(AVIERR_UNSUPPORTED, EINVAL);
    auto* handle = new (std::nothrow) AviStreamObject;
    if (!handle)
        return Fail(AVIERR_MEMORY, ENOMEM);
    CompressorState& c = handle->compression;
    c.options = *options;
    c.options.lpFormat = nullptr;
    c.options.lpParms = nullptr;
    DWORD code = options->fccHandler;
    c.passThrough = code == 0 || code == comptypeDIB || code == mmioFOURCC('d', 'i', 'b', ' ');
    if (!c.passThrough) {
        c.compressor = CreateVideoCompressor(code);
        if (!c.compressor) {
            delete handle;
            return Fail(AVIERR_NOCOMPRESSOR, ENOENT);
        }
    }
    handle->file = source->file;
    handle->state = source->state;
    handle->source = source;
    ++source->refs;
    *compressed = handle;
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, void* format, LONG size) {
    if (!ValidStream(stream))
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (!format || size <= 0 || position != 0)
        return Fail(AVIERR_BADPARAM, EINVAL);
    StreamState& s = *stream->state;
    const auto* bytes = static_cast<const uint8_t*>(format);
    std::vector<uint8_t> stored;
    if (stream->source) {
        HRESULT set = SetCompressedFormat(*stream, format, size, stored);
        if (set != AVIERR_OK)
            return set;
    } else if (stream->file->headerWritten) {
        // The header is on disk: only the same format again is accepted.
        if (s.format.size() == static_cast<size_t>(size) && std::memcmp(s.format.data(), bytes, s.format.size()) == 0)
            return AVIERR_OK;
        return Fail(AVIERR_UNSUPPORTED, EINVAL);
    } else {
        stored.assign(bytes, bytes + size);
    }
    if (s.info.fccType == streamtypeVIDEO && s.info.rcFrame.right == 0 && s.info.rcFrame.bottom == 0)
        DibSize(stored, s.info.rcFrame.right, s.info.rcFrame.bottom);
    s.format = std::move(stored);
    return AVIERR_OK;
}

namespace {

// Stores one sample (after its compression, if any) and reports what was written.
HRESULT StoreSample(AviStreamObject& stream, LONG start, LONG samples, const void* data, uint32_t size, bool key,
                    LONG* samplesWritten, LONG* bytesWritten) {
    AviFileObject& f = *stream.file;
    StreamState& s = *stream.state;
    if (s.chunkId == 0 && f.headerWritten)
        return Fail(AVIERR_INTERNAL, EINVAL);
    HRESULT result = WriteSamples(f, s, start, data, size, key);
    if (result != AVIERR_OK)
        return result;
    if (samplesWritten)
        *samplesWritten = samples;
    if (bytesWritten)
        *bytesWritten = static_cast<LONG>(size);
    return AVIERR_OK;
}

}  // namespace

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, const void* buffer, LONG bytes, DWORD flags,
                       LONG* samplesWritten, LONG* bytesWritten) {
    if (samplesWritten)
        *samplesWritten = 0;
    if (bytesWritten)
        *bytesWritten = 0;
    if (!ValidStream(stream))
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (bytes < 0 || (bytes > 0 && !buffer) || samples < 0)
        return Fail(AVIERR_BADPARAM, EINVAL);
    // One chunk holds one sample of a stream without a fixed sample size.
    if (stream->state->info.dwSampleSize == 0 && samples != 1)
        return Fail(AVIERR_BADPARAM, EINVAL);

    const void* data = buffer;
    uint32_t size = static_cast<uint32_t>(bytes);
    bool key = (flags & AVIIF_KEYFRAME) != 0;
    if (stream->source) {
        HRESULT compressed = CompressFrame(*stream, buffer, bytes, data, size, key);
        if (compressed != AVIERR_OK)
            return compressed;
    }
    return StoreSample(*stream, start, samples, data, size, key, samplesWritten, bytesWritten);
}

std::unique_ptr<VideoCompressor> AVIStreamCompressorTwin(PAVISTREAM stream) {
    if (!ValidStream(stream) || !stream->source)
        return nullptr;
    const CompressorState& c = stream->compression;
    if (c.passThrough || !c.formatSet || !c.compressor)
        return nullptr;
    return c.compressor->Twin();
}

HRESULT AVIStreamWriteCompressed(PAVISTREAM stream, LONG start, const void* sample, LONG bytes, bool key,
                                 LONG* bytesWritten) {
    if (bytesWritten)
        *bytesWritten = 0;
    if (!ValidStream(stream))
        return Fail(AVIERR_BADHANDLE, EBADF);
    if (bytes < 0 || (bytes > 0 && !sample))
        return Fail(AVIERR_BADPARAM, EINVAL);
    CompressorState& c = stream->compression;
    if (!stream->source || c.passThrough || !c.formatSet)
        return Fail(AVIERR_BADFORMAT, EINVAL);
    // The same checks and count as a frame the stream's own compressor compresses.
    if (stream->file->status != AVIERR_OK)
        return FileResult(*stream->file);
    ++c.framesIn;
    return StoreSample(*stream, start, 1, sample, static_cast<uint32_t>(bytes), key, nullptr, bytesWritten);
}

ULONG AVIStreamRelease(PAVISTREAM stream) {
    if (!stream || stream->refs <= 0)
        return 0;
    ULONG left = static_cast<ULONG>(--stream->refs);
    if (left > 0)
        return left;
    AviFileObject* file = stream->file;
    AviStreamObject* source = stream->source;
    delete stream;
    if (source)
        AVIStreamRelease(source);
    else
        ReleaseFileRef(file);
    return 0;
}
