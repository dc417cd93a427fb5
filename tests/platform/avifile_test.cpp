// The AVI file services: files written here are read back by ffprobe/ffmpeg and by a small RIFF
// walker of the test's own.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/AviFile.h"
#include "support/AviTestFrames.h"
#include "support/Ffprobe.h"
#include "support/TempDir.h"

namespace {

// ---- A RIFF walker independent of the writer --------------------------------------------

struct Chunk {
    std::string tag;
    std::string listType;  // RIFF and LIST only
    uint64_t offset = 0;   // of the chunk head
    uint32_t size = 0;
    std::vector<Chunk> children;
};

uint32_t U32(const std::string& b, uint64_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) | (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}
uint16_t U16(const std::string& b, uint64_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}

std::vector<Chunk> Walk(const std::string& b, uint64_t from, uint64_t to) {
    std::vector<Chunk> chunks;
    while (from + 8 <= to) {
        Chunk c;
        c.tag = b.substr(from, 4);
        c.offset = from;
        c.size = U32(b, from + 4);
        uint64_t end = from + 8 + c.size;
        if (end > to)
            end = to;
        if (c.tag == "RIFF" || c.tag == "LIST") {
            c.listType = b.substr(from + 8, 4);
            c.children = Walk(b, from + 12, end);
        }
        chunks.push_back(c);
        from += 8 + static_cast<uint64_t>(c.size) + (c.size & 1);
    }
    return chunks;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const std::string& tag, const std::string& listType = "") {
    for (const Chunk& c : chunks)
        if (c.tag == tag && (listType.empty() || c.listType == listType))
            return &c;
    return nullptr;
}

std::vector<TestPicture> Frames(int count, int width, int height, int bitCount) {
    std::vector<TestPicture> frames;
    for (int n = 0; n < count; ++n)
        frames.push_back(MakeTestPicture(width, height, bitCount, n));
    return frames;
}

}  // namespace

class AviFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        PIXREEL_REQUIRE_TOOLS(HaveProgram("ffprobe") && HaveProgram("ffmpeg"), "ffprobe/ffmpeg not installed");
    }
    void TearDown() override { AVISetOpenDmlThreshold(0); }
    TempDir dir;
};

TEST_F(AviFileTest, UncompressedFramesWithNamesAndInfoReadBackExactly) {
    // 37 pixels of 24 bits: rows padded from 111 to 112 bytes.
    const int width = 37, height = 23, count = 7;
    std::vector<TestPicture> frames = Frames(count, width, height, 24);
    std::string path = dir.file("out.avi");
    AviWriteSpec desc;
    desc.rate = 5;
    desc.names = true;
    desc.info = true;
    ASSERT_EQ(WriteTestAvi(path, frames, desc), "");

    ProbeResult probe = ProbeFile(path, true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_EQ(probe.formatName, "avi");
    ASSERT_EQ(probe.streams.size(), 2u);
    const ProbeStream& v = probe.streams[0];
    EXPECT_EQ(v.codecType, "video");
    EXPECT_EQ(v.codecName, "rawvideo");
    EXPECT_EQ(v.width, width);
    EXPECT_EQ(v.height, height);
    EXPECT_EQ(v.rFrameRate, "5/1");
    EXPECT_EQ(v.nbFrames, count);
    EXPECT_EQ(v.nbReadFrames, count);
    EXPECT_NEAR(v.duration, count / 5.0, 1e-6);
    EXPECT_EQ(probe.streams[1].codecType, "subtitle");

    SCOPED_TRACE("pixels");
    std::vector<std::vector<uint8_t>> decoded = DecodeFrames(path, width, height, RowOrder::BottomUpBgr);
    ASSERT_EQ(decoded.size(), frames.size());
    for (int n = 0; n < count; ++n)
        EXPECT_EQ(decoded[n], frames[n].BottomUpBgr()) << "frame " << n;

    SCOPED_TRACE("names at n * 60 / rate");
    std::vector<ProbePacket> names = ProbePackets(path, 1);
    ASSERT_EQ(names.size(), static_cast<size_t>(count));
    for (int n = 0; n < count; ++n) {
        EXPECT_EQ(names[n].pts, n * 12);
        EXPECT_EQ(names[n].size, 13);  // "IMG_000n.JPG" and its NUL
    }
    std::string payload = StreamPayload(path, 1);
    EXPECT_EQ(payload.substr(0, 26), std::string("IMG_0000.JPG\0IMG_0001.JPG\0", 26));

    SCOPED_TRACE("INFO tags");
    EXPECT_EQ(probe.tags["software"], "Pixreel test");
    EXPECT_EQ(probe.tags["date"], "2026-12-07");
    EXPECT_NE(probe.tags["copyright"].find("2026 Tester"), std::string::npos);
}

TEST_F(AviFileTest, HeaderFieldsAndIndexDescribeTheData) {
    const int width = 40, height = 30, count = 9;
    std::vector<TestPicture> frames = Frames(count, width, height, 24);
    std::string path = dir.file("layout.avi");
    AviWriteSpec desc;
    desc.rate = 3;
    desc.names = true;
    desc.info = true;
    ASSERT_EQ(WriteTestAvi(path, frames, desc), "");
    std::string b = ReadFileBytes(path);
    std::vector<Chunk> top = Walk(b, 0, b.size());
    ASSERT_EQ(top.size(), 1u);
    ASSERT_EQ(top[0].listType, "AVI ");
    EXPECT_EQ(top[0].size + 8u, b.size());
    const std::vector<Chunk>& riff = top[0].children;

    const Chunk* hdrl = Find(riff, "LIST", "hdrl");
    ASSERT_NE(hdrl, nullptr);
    const Chunk* avih = Find(hdrl->children, "avih");
    ASSERT_NE(avih, nullptr);
    uint64_t a = avih->offset + 8;
    const uint32_t frameBytes = 120 * 30;
    EXPECT_EQ(U32(b, a), 333333u);                   // dwMicroSecPerFrame
    // dwMaxBytesPerSec: the first second holds 3 frames, 3 names and 57 empty name chunks.
    EXPECT_EQ(U32(b, a + 4), 3 * (frameBytes + 8) + 3 * (14 + 8) + 57 * 8);
    EXPECT_EQ(U32(b, a + 12) & 0x10, 0x10u);         // AVIF_HASINDEX
    EXPECT_EQ(U32(b, a + 16), static_cast<uint32_t>(count));  // dwTotalFrames
    EXPECT_EQ(U32(b, a + 24), 2u);                   // dwStreams
    EXPECT_EQ(U32(b, a + 28), frameBytes + 8);       // dwSuggestedBufferSize
    EXPECT_EQ(U32(b, a + 32), static_cast<uint32_t>(width));
    EXPECT_EQ(U32(b, a + 36), static_cast<uint32_t>(height));

    std::vector<const Chunk*> strls;
    for (const Chunk& c : hdrl->children)
        if (c.listType == "strl")
            strls.push_back(&c);
    ASSERT_EQ(strls.size(), 2u);
    const Chunk* vstrh = Find(strls[0]->children, "strh");
    const Chunk* tstrh = Find(strls[1]->children, "strh");
    ASSERT_TRUE(vstrh && tstrh);
    EXPECT_EQ(b.substr(vstrh->offset + 8, 4), "vids");
    EXPECT_EQ(b.substr(vstrh->offset + 12, 4), "DIB ");
    EXPECT_EQ(U32(b, vstrh->offset + 8 + 24), 3u);                  // dwRate
    EXPECT_EQ(U32(b, vstrh->offset + 8 + 32), static_cast<uint32_t>(count));  // dwLength
    EXPECT_EQ(U32(b, vstrh->offset + 8 + 36), frameBytes);          // dwSuggestedBufferSize
    EXPECT_EQ(b.substr(tstrh->offset + 8, 4), "txts");
    EXPECT_EQ(U32(b, tstrh->offset + 8 + 24), 60u);
    EXPECT_EQ(U32(b, tstrh->offset + 8 + 32), (count - 1) * 20 + 1u);  // last name at 8 * 20
    // The text band's rectangle starts at the picture's height and is 12 pixels high.
    EXPECT_EQ(U16(b, tstrh->offset + 8 + 48), 0);
    EXPECT_EQ(U16(b, tstrh->offset + 8 + 50), height);
    EXPECT_EQ(U16(b, tstrh->offset + 8 + 52), width);
    EXPECT_EQ(U16(b, tstrh->offset + 8 + 54), height + 12);
    const Chunk* tstrf = Find(strls[1]->children, "strf");
    ASSERT_NE(tstrf, nullptr);
    EXPECT_EQ(tstrf->size, 4u);
    EXPECT_EQ(U32(b, tstrf->offset + 8), 4u);

    // The INFO list sits before the data, where readers that stop at 'movi' find it.
    const Chunk* info = Find(riff, "LIST", "INFO");
    const Chunk* movi = Find(riff, "LIST", "movi");
    ASSERT_TRUE(info && movi);
    EXPECT_LT(info->offset, movi->offset);
    EXPECT_EQ(info->size, 412u);
    ASSERT_EQ(info->children.size(), 3u);
    for (const Chunk& c : info->children)
        EXPECT_EQ(c.size, 128u) << c.tag;
    // The data starts on a 2048-byte boundary.
    EXPECT_EQ((movi->offset + 12) % 2048, 0u);

    // Frames are '00db', names '01tx' (with empty chunks for the positions in between).
    size_t videoChunks = 0, nameChunks = 0, emptyNames = 0;
    for (const Chunk& c : movi->children) {
        if (c.tag == "00db") {
            ++videoChunks;
            EXPECT_EQ(c.size, frameBytes);
        } else if (c.tag == "01tx") {
            (c.size == 0 ? emptyNames : nameChunks)++;
        } else {
            ADD_FAILURE() << "unexpected chunk " << c.tag;
        }
    }
    EXPECT_EQ(videoChunks, static_cast<size_t>(count));
    EXPECT_EQ(nameChunks, static_cast<size_t>(count));
    EXPECT_EQ(emptyNames, static_cast<size_t>((count - 1) * 19));

    const Chunk* idx1 = Find(riff, "idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->size, 16u * movi->children.size());
    for (size_t i = 0; i < movi->children.size(); ++i) {
        uint64_t e = idx1->offset + 8 + 16 * i;
        const Chunk& c = movi->children[i];
        EXPECT_EQ(b.substr(e, 4), c.tag);
        if (c.tag == "00db") {
            EXPECT_EQ(U32(b, e + 4), 0x10u);  // AVIIF_KEYFRAME
        }
        // Offsets count from the 'movi' list type.
        EXPECT_EQ(U32(b, e + 8), c.offset - (movi->offset + 8));
        EXPECT_EQ(U32(b, e + 12), c.size);
    }
}

TEST_F(AviFileTest, PalettedFramesKeepTheirPaletteAndPixels) {
    for (int bits : {8, 4, 1}) {
        SCOPED_TRACE(bits);
        const int width = 33, height = 17, count = 4;
        std::vector<TestPicture> frames = Frames(count, width, height, bits);
        std::string path = dir.file("pal" + std::to_string(bits) + ".avi");
        ASSERT_EQ(WriteTestAvi(path, frames, AviWriteSpec{}), "");
        ProbeResult probe = ProbeFile(path, true);
        ASSERT_TRUE(probe.ok);
        ASSERT_EQ(probe.streams.size(), 1u);
        EXPECT_EQ(probe.streams[0].nbReadFrames, count);
        std::vector<std::vector<uint8_t>> decoded = DecodeFrames(path, width, height, RowOrder::BottomUpBgr);
        ASSERT_EQ(decoded.size(), frames.size());
        for (int n = 0; n < count; ++n)
            EXPECT_EQ(decoded[n], frames[n].BottomUpBgr()) << "frame " << n;
    }
}

TEST_F(AviFileTest, LargeFileContinuesAsOpenDml) {
    // 120 x 90 x 24 bits = 32400 bytes a frame; 100 frames in RIFFs of at most 256 KiB.
    const uint64_t limit = 256 * 1024;
    AVISetOpenDmlThreshold(limit);
    const int width = 120, height = 90, count = 100;
    std::vector<TestPicture> frames = Frames(count, width, height, 24);
    std::string path = dir.file("big.avi");
    AviWriteSpec desc;
    desc.rate = 10;
    desc.names = true;
    ASSERT_EQ(WriteTestAvi(path, frames, desc), "");

    std::string b = ReadFileBytes(path);
    std::vector<Chunk> top = Walk(b, 0, b.size());
    ASSERT_GE(top.size(), 3u);
    EXPECT_EQ(top[0].listType, "AVI ");
    uint64_t total = 0;
    for (size_t i = 0; i < top.size(); ++i) {
        EXPECT_EQ(top[i].tag, "RIFF");
        if (i > 0) {
            EXPECT_EQ(top[i].listType, "AVIX");
        }
        EXPECT_LE(top[i].size + 8u, limit);
        total += top[i].size + 8u;
    }
    EXPECT_EQ(total, b.size());

    // Header: the first RIFF's frame count in avih, all frames in dmlh and strh.
    const Chunk* hdrl = Find(top[0].children, "LIST", "hdrl");
    ASSERT_NE(hdrl, nullptr);
    const Chunk* movi0 = Find(top[0].children, "LIST", "movi");
    ASSERT_NE(movi0, nullptr);
    uint32_t firstFrames = 0;
    for (const Chunk& c : movi0->children)
        firstFrames += c.tag == "00db";
    EXPECT_EQ(U32(b, Find(hdrl->children, "avih")->offset + 8 + 16), firstFrames);
    const Chunk* odml = Find(hdrl->children, "LIST", "odml");
    ASSERT_NE(odml, nullptr);
    EXPECT_EQ(U32(b, Find(odml->children, "dmlh")->offset + 8), static_cast<uint32_t>(count));

    // Each stream's super index points at one ix## chunk per RIFF, covering every frame.
    const Chunk* strl = Find(hdrl->children, "LIST", "strl");
    const Chunk* indx = Find(strl->children, "indx");
    ASSERT_NE(indx, nullptr);
    uint64_t s = indx->offset + 8;
    EXPECT_EQ(U16(b, s), 4);  // wLongsPerEntry
    uint32_t entries = U32(b, s + 4);
    EXPECT_EQ(entries, top.size());
    EXPECT_EQ(b.substr(s + 8, 4), "00db");
    uint32_t covered = 0;
    for (uint32_t i = 0; i < entries; ++i) {
        uint64_t e = s + 24 + 16 * i;
        uint64_t ixOffset = U32(b, e) | (static_cast<uint64_t>(U32(b, e + 4)) << 32);
        EXPECT_EQ(b.substr(ixOffset, 4), "ix00");
        EXPECT_EQ(U32(b, ixOffset + 4) + 8, U32(b, e + 8));
        covered += U32(b, e + 12);
        // Every standard index entry points at a '00db' chunk's data.
        uint32_t inUse = U32(b, ixOffset + 12);
        uint64_t base = U32(b, ixOffset + 20) | (static_cast<uint64_t>(U32(b, ixOffset + 24)) << 32);
        for (uint32_t k = 0; k < inUse; ++k) {
            uint64_t data = base + U32(b, ixOffset + 32 + 8 * k);
            EXPECT_EQ(b.substr(data - 8, 4), "00db");
            EXPECT_EQ(U32(b, ixOffset + 36 + 8 * k), 32400u);  // a key frame: bit 31 clear
        }
    }
    EXPECT_EQ(covered, static_cast<uint32_t>(count));
    // idx1 stays in the first RIFF for readers that know no OpenDML.
    EXPECT_NE(Find(top[0].children, "idx1"), nullptr);
    EXPECT_EQ(Find(top[1].children, "idx1"), nullptr);

    ProbeResult probe = ProbeFile(path, true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    ASSERT_EQ(probe.streams.size(), 2u);
    EXPECT_EQ(probe.streams[0].nbReadFrames, count);
    EXPECT_NEAR(probe.streams[0].duration, 10.0, 1e-6);
    EXPECT_EQ(probe.streams[1].nbReadPackets, count);
    std::vector<uint8_t> last = DecodeFrame(path, count - 1, width, height, RowOrder::BottomUpBgr);
    EXPECT_EQ(last, frames.back().BottomUpBgr());
    std::vector<ProbePacket> names = ProbePackets(path, 1);
    ASSERT_EQ(names.size(), static_cast<size_t>(count));
    EXPECT_EQ(names.back().pts, (count - 1) * 6);
}

namespace {

// Writes frames in a child process, reporting each finished AVIStreamWrite on a pipe, until it
// is killed; returns the number of frames the child had reported.
int WriteUntilKilled(const std::string& path, int width, int height, int killAfter, uint64_t riffLimit, DWORD codec) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (riffLimit)
            AVISetOpenDmlThreshold(riffLimit);
        PAVIFILE file = nullptr;
        PAVISTREAM video = nullptr, compressed = nullptr;
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 25;
        AVICOMPRESSOPTIONS options{};
        options.fccHandler = codec;
        options.dwQuality = 9000;
        TestPicture p = MakeTestPicture(width, height, 24, 0);
        std::vector<uint8_t> format = p.Format();
        if (AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK ||
            AVIFileCreateStreamA(file, &video, &info) != AVIERR_OK ||
            AVIMakeCompressedStream(&compressed, video, &options, nullptr) != AVIERR_OK ||
            AVIStreamSetFormat(compressed, 0, format.data(), static_cast<LONG>(format.size())) != AVIERR_OK)
            ::_exit(2);
        for (int n = 0;; ++n) {
            p.bits.assign(p.bits.size(), static_cast<uint8_t>(n));
            if (AVIStreamWrite(compressed, n, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), AVIIF_KEYFRAME,
                               nullptr, nullptr) != AVIERR_OK)
                ::_exit(3);
            uint8_t done = 1;
            if (::write(fds[1], &done, 1) != 1)
                ::_exit(4);
        }
    }
    ::close(fds[1]);
    int reported = 0;
    uint8_t byte;
    while (reported < killAfter && ::read(fds[0], &byte, 1) == 1)
        ++reported;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Reports written before the kill landed still count.
    while (::read(fds[0], &byte, 1) == 1)
        ++reported;
    ::close(fds[0]);
    return reported;
}

}  // namespace

TEST_F(AviFileTest, KilledWriterLeavesFileReadableUpToItsLastFrame) {
    const int width = 64, height = 48;
    struct Case {
        const char* name;
        uint64_t limit;
        DWORD codec;
    };
    const Case cases[] = {{"one RIFF", 0, comptypeDIB},
                          {"OpenDML", 100 * 1024, comptypeDIB},
                          {"H.264", 0, mmioFOURCC('H', '2', '6', '4')}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file(std::string("killed-") + c.name + ".avi");
        int reported = WriteUntilKilled(path, width, height, 60, c.limit, c.codec);
        ASSERT_GE(reported, 60);
        ProbeResult probe = ProbeFile(path, true);
        ASSERT_TRUE(probe.ok) << probe.raw;
        ASSERT_EQ(probe.streams.size(), 1u);
        // Every frame whose write returned is there; the child may have finished one more
        // between its report and the kill.
        int64_t frames = probe.streams[0].nbReadFrames;
        EXPECT_GE(frames, reported);
        EXPECT_LE(frames, reported + 1);
        std::vector<uint8_t> last = DecodeFrame(path, static_cast<int>(frames - 1), width, height, RowOrder::BottomUpBgr);
        ASSERT_EQ(last.size(), static_cast<size_t>(width * height * 3));
        // Frame n is all gray level n (exactly so when uncompressed).
        int tolerance = c.codec == comptypeDIB ? 0 : 3;
        EXPECT_NEAR(last.front(), static_cast<uint8_t>(frames - 1), tolerance);
        EXPECT_NEAR(last[last.size() / 2], static_cast<uint8_t>(frames - 1), tolerance);
    }
}

TEST_F(AviFileTest, OpenFailsWithTheSystemReason) {
    PAVIFILE file = reinterpret_cast<PAVIFILE>(1);
    errno = 0;
    EXPECT_EQ(AVIFileOpenA(&file, dir.file("missing/out.avi").c_str(), OF_WRITE | OF_CREATE, nullptr),
              AVIERR_FILEOPEN);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(file, nullptr);

    EXPECT_EQ(AVIFileOpenA(&file, dir.file("x.avi").c_str(), OF_READ, nullptr), AVIERR_UNSUPPORTED);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.avi")));

    std::string locked = dir.file("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    std::string target = locked + "/out.avi";
    if (::geteuid() != 0) {
        errno = 0;
        EXPECT_EQ(AVIFileOpenA(&file, target.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_FILEOPEN);
        EXPECT_EQ(errno, EACCES);
        return;
    }
    // Root writes into read-only folders; an ordinary user ("nobody") does not.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        PAVIFILE denied = nullptr;
        errno = 0;
        HRESULT hr = AVIFileOpenA(&denied, target.c_str(), OF_WRITE | OF_CREATE, nullptr);
        ::_exit(hr == AVIERR_FILEOPEN && errno == EACCES && denied == nullptr ? 0 : 11);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not become nobody; 11: wrong answer";
}

TEST_F(AviFileTest, ExistingFileIsReplaced) {
    std::string path = dir.file("again.avi");
    WriteFileBytes(path, std::string(500000, 'x'));
    std::vector<TestPicture> frames = Frames(2, 16, 16, 24);
    ASSERT_EQ(WriteTestAvi(path, frames, AviWriteSpec{}), "");
    std::string b = ReadFileBytes(path);
    ASSERT_LT(b.size(), 500000u);
    EXPECT_EQ(U32(b, 4) + 8u, b.size());
    EXPECT_EQ(ProbeFile(path, true).streams.at(0).nbReadFrames, 2);
}

TEST_F(AviFileTest, FileSizeLimitFailsTheWriteAndTheClose) {
    // The child writes under a 300 KiB file size limit with SIGXFSZ ignored and reports the
    // results through its exit status: frames written, then how the failing write and the
    // release answered.
    std::string path = dir.file("limited.avi");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{300 * 1024, 300 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<TestPicture> frames = Frames(1, 100, 100, 24);
        PAVIFILE file = nullptr;
        PAVISTREAM video = nullptr, compressed = nullptr;
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 10;
        AVICOMPRESSOPTIONS options{};
        options.fccHandler = comptypeDIB;
        std::vector<uint8_t> format = frames[0].Format();
        if (AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK ||
            AVIFileCreateStreamA(file, &video, &info) != AVIERR_OK ||
            AVIMakeCompressedStream(&compressed, video, &options, nullptr) != AVIERR_OK ||
            AVIStreamSetFormat(compressed, 0, format.data(), static_cast<LONG>(format.size())) != AVIERR_OK)
            ::_exit(20);
        int written = 0;
        HRESULT hr = AVIERR_OK;
        while (written < 100) {
            hr = AVIStreamWrite(compressed, written, 1, frames[0].bits.data(), static_cast<LONG>(frames[0].bits.size()),
                                AVIIF_KEYFRAME, nullptr, nullptr);
            if (hr != AVIERR_OK)
                break;
            ++written;
        }
        int writeErrno = errno;
        // Later writes keep failing with the same reason.
        HRESULT again = AVIStreamWrite(compressed, written, 1, frames[0].bits.data(),
                                       static_cast<LONG>(frames[0].bits.size()), AVIIF_KEYFRAME, nullptr, nullptr);
        int againErrno = errno;
        AVIStreamRelease(video);
        AVIStreamRelease(compressed);
        AVIFileRelease(file);
        HRESULT closed = AVIFileLastCloseResult();
        int closeErrno = errno;
        int values[6] = {written, hr == AVIERR_FILEWRITE, writeErrno, again == AVIERR_FILEWRITE && againErrno == EFBIG,
                         closed == AVIERR_FILEWRITE, closeErrno};
        if (::write(fds[1], values, sizeof values) != sizeof values)
            ::_exit(21);
        ::_exit(0);
    }
    ::close(fds[1]);
    int values[6] = {};
    ssize_t got = ::read(fds[0], values, sizeof values);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the writer crashed";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof values));
    int written = values[0];
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 100);
    EXPECT_TRUE(values[1]) << "the failing write is AVIERR_FILEWRITE";
    EXPECT_EQ(values[2], EFBIG);
    EXPECT_TRUE(values[3]);
    EXPECT_TRUE(values[4]) << "the release reports the file as incomplete";
    EXPECT_EQ(values[5], EFBIG);

    // What was written whole is readable, and nothing more is claimed.
    ProbeResult probe = ProbeFile(path, true);
    ASSERT_TRUE(probe.ok) << probe.raw;
    EXPECT_EQ(probe.streams.at(0).nbReadFrames, written);
    std::string b = ReadFileBytes(path);
    EXPECT_LE(b.size(), 300u * 1024);
}

TEST_F(AviFileTest, FullDiskFailsTheWriteAndTheClose) {
    // A 256 KiB tmpfs stands for a full disk; mounting one needs root.
    std::string mountPoint = dir.file("small");
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0755), 0);
    if (::geteuid() != 0 || ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    std::string path = mountPoint + "/full.avi";
    TestPicture p = MakeTestPicture(100, 100, 24, 0);
    std::vector<uint8_t> format = p.Format();
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr;
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 10;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStreamA(file, &video, &info), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(video, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    int written = 0;
    HRESULT hr = AVIERR_OK;
    for (; written < 100; ++written) {
        hr = AVIStreamWrite(video, written, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), AVIIF_KEYFRAME,
                            nullptr, nullptr);
        if (hr != AVIERR_OK)
            break;
    }
    int writeErrno = errno;
    EXPECT_EQ(hr, AVIERR_FILEWRITE);
    EXPECT_EQ(writeErrno, ENOSPC);
    EXPECT_GT(written, 0);
    EXPECT_EQ(AVIFileStatus(file), AVIERR_FILEWRITE);
    AVIStreamRelease(video);
    AVIFileRelease(file);
    EXPECT_EQ(AVIFileLastCloseResult(), AVIERR_FILEWRITE);
    EXPECT_EQ(errno, ENOSPC);
    ProbeResult probe = ProbeFile(path, true);
    EXPECT_TRUE(probe.ok) << probe.raw;
    if (probe.ok) {
        EXPECT_EQ(probe.streams.at(0).nbReadFrames, written);
    }
    ::umount2(mountPoint.c_str(), MNT_DETACH);
}

TEST_F(AviFileTest, SamplesAtTakenOrSkippedPositions) {
    std::string path = dir.file("positions.avi");
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr, text = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 100;
    ASSERT_EQ(AVIFileCreateStreamA(file, &video, &info), AVIERR_OK);
    TestPicture p = MakeTestPicture(8, 8, 24, 0);
    std::vector<uint8_t> format = p.Format();
    ASSERT_EQ(AVIStreamSetFormat(video, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    AVISTREAMINFOA textInfo{};
    textInfo.fccType = streamtypeTEXT;
    textInfo.dwScale = 1;
    textInfo.dwRate = 60;
    ASSERT_EQ(AVIFileCreateStreamA(file, &text, &textInfo), AVIERR_OK);
    // At 100 frames a second frames 0 and 1 both map to text position 0: the second name goes
    // to the next free position, and no name is lost.
    const LONG positions[] = {0, 0, 1, 3};
    for (int n = 0; n < 4; ++n) {
        ASSERT_EQ(AVIStreamWrite(video, n, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), AVIIF_KEYFRAME,
                                 nullptr, nullptr),
                  AVIERR_OK);
        char name[8] = {'N', static_cast<char>('0' + n), 0};
        LONG samples = 0, bytes = 0;
        ASSERT_EQ(AVIStreamWrite(text, positions[n], 1, name, 3, AVIIF_KEYFRAME, &samples, &bytes), AVIERR_OK);
        EXPECT_EQ(samples, 1);
        EXPECT_EQ(bytes, 3);
    }
    // A format change after the first sample is refused; the same format again is fine.
    EXPECT_EQ(AVIStreamSetFormat(video, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    format[4] = 9;
    EXPECT_EQ(AVIStreamSetFormat(video, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_UNSUPPORTED);
    // So is a new stream.
    PAVISTREAM late = nullptr;
    EXPECT_EQ(AVIFileCreateStreamA(file, &late, &textInfo), AVIERR_UNSUPPORTED);
    EXPECT_EQ(late, nullptr);
    // The file is completed at the last release, whichever handle that is.
    EXPECT_EQ(AVIFileRelease(file), 2u);
    EXPECT_EQ(AVIStreamRelease(text), 0u);
    EXPECT_EQ(AVIStreamRelease(video), 0u);
    EXPECT_EQ(AVIFileLastCloseResult(), AVIERR_OK);

    std::vector<ProbePacket> names = ProbePackets(path, 1);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0].pts, 0);
    EXPECT_EQ(names[1].pts, 1);
    EXPECT_EQ(names[2].pts, 2);
    EXPECT_EQ(names[3].pts, 3);
    EXPECT_EQ(StreamPayload(path, 1), std::string("N0\0N1\0N2\0N3\0", 12));
}

TEST_F(AviFileTest, DataTooLargeForTheHeaderRoomGoesAfterTheIndex) {
    std::string path = dir.file("data.avi");
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    // Data handed over before the header exists still lands in the header area.
    std::vector<uint8_t> info = MakeInfoBlock("early", "c", "2001-01-01");
    ASSERT_EQ(AVIFileWriteData(file, mmioFOURCC('L', 'I', 'S', 'T'), info.data(), 412), AVIERR_OK);
    std::string big(3000, 'z');
    ASSERT_EQ(AVIFileWriteData(file, mmioFOURCC('z', 'z', 'z', 'z'), big.data(), static_cast<LONG>(big.size())),
              AVIERR_OK);
    AVISTREAMINFOA vi{};
    vi.fccType = streamtypeVIDEO;
    vi.dwScale = 1;
    vi.dwRate = 2;
    ASSERT_EQ(AVIFileCreateStreamA(file, &video, &vi), AVIERR_OK);
    TestPicture p = MakeTestPicture(8, 8, 24, 0);
    std::vector<uint8_t> format = p.Format();
    ASSERT_EQ(AVIStreamSetFormat(video, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(video, 0, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), AVIIF_KEYFRAME, nullptr,
                             nullptr),
              AVIERR_OK);
    AVIStreamRelease(video);
    AVIFileRelease(file);
    ASSERT_EQ(AVIFileLastCloseResult(), AVIERR_OK);

    std::string b = ReadFileBytes(path);
    std::vector<Chunk> riff = Walk(b, 0, b.size()).at(0).children;
    ASSERT_GE(riff.size(), 2u);
    EXPECT_EQ(riff[1].listType, "INFO");
    EXPECT_EQ(riff.back().tag, "zzzz");
    EXPECT_EQ(riff.back().size, 3000u);
    EXPECT_EQ(riff[riff.size() - 2].tag, "idx1");
    ProbeResult probe = ProbeFile(path, true);
    EXPECT_EQ(probe.tags["software"], "early");
    EXPECT_EQ(probe.streams.at(0).nbReadFrames, 1);
}

TEST_F(AviFileTest, BadCallsAreRefusedWithoutHarm) {
    std::string path = dir.file("bad.avi");
    PAVIFILE file = nullptr;
    PAVISTREAM video = nullptr, compressed = nullptr;
    ASSERT_EQ(AVIFileOpenA(&file, path.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 0;  // a rate of 0 never reaches a header
    EXPECT_EQ(AVIFileCreateStreamA(file, &video, &info), AVIERR_BADPARAM);
    info.dwRate = 5;
    ASSERT_EQ(AVIFileCreateStreamA(file, &video, &info), AVIERR_OK);
    AVICOMPRESSOPTIONS options{};
    options.fccHandler = mmioFOURCC('N', 'O', 'N', 'E');
    EXPECT_EQ(AVIMakeCompressedStream(&compressed, video, &options, nullptr), AVIERR_NOCOMPRESSOR);
    EXPECT_EQ(compressed, nullptr);
    options.fccHandler = comptypeDIB;
    ASSERT_EQ(AVIMakeCompressedStream(&compressed, video, &options, nullptr), AVIERR_OK);
    TestPicture p = MakeTestPicture(10, 10, 24, 0);
    // A frame before the format, a 16-bit or compressed input format, a short frame buffer.
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), 0, nullptr, nullptr),
              AVIERR_BADFORMAT);
    TestPicture bad = p;
    bad.header.biBitCount = 16;
    std::vector<uint8_t> badFormat = bad.Format();
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, badFormat.data(), static_cast<LONG>(badFormat.size())),
              AVIERR_BADFORMAT);
    bad = p;
    bad.header.biCompression = mmioFOURCC('M', 'J', 'P', 'G');
    badFormat = bad.Format();
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, badFormat.data(), static_cast<LONG>(badFormat.size())),
              AVIERR_BADFORMAT);
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, badFormat.data(), 20), AVIERR_BADFORMAT);
    std::vector<uint8_t> format = p.Format();
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), static_cast<LONG>(format.size())), AVIERR_OK);
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, p.bits.data(), 100, 0, nullptr, nullptr), AVIERR_BADSIZE);
    EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, p.bits.data(), static_cast<LONG>(p.bits.size()), 0, nullptr, nullptr),
              AVIERR_OK);
    EXPECT_EQ(AVIStreamWrite(nullptr, 0, 1, p.bits.data(), 1, 0, nullptr, nullptr), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIFileWriteData(nullptr, 0, nullptr, 0), AVIERR_BADHANDLE);
    EXPECT_EQ(AVIStreamRelease(nullptr), 0u);
    EXPECT_EQ(AVIFileRelease(nullptr), 0u);
    AVIStreamRelease(compressed);
    AVIStreamRelease(video);
    AVIFileRelease(file);
    EXPECT_EQ(AVIFileLastCloseResult(), AVIERR_OK);
    EXPECT_EQ(ProbeFile(path, true).streams.at(0).nbReadFrames, 1);
}

TEST(AviFileInit, CallsAreCounted) {
    int before = AVIFileInitCount();
    AVIFileInit();
    AVIFileInit();
    EXPECT_EQ(AVIFileInitCount(), before + 2);
    AVIFileExit();
    AVIFileExit();
    EXPECT_EQ(AVIFileInitCount(), before);
    // An extra exit never drives the count below zero.
    if (before == 0) {
        AVIFileExit();
        EXPECT_EQ(AVIFileInitCount(), 0);
    }
}
