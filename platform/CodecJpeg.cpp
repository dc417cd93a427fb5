// "MJPG": every frame a baseline JPEG from libjpeg-turbo, marked as an AVI1 frame.

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <jpeglib.h>
// After jpeglib.h: the module interfaces, for the statistics pass of our own.
#include <jerror.h>
#include <jpegint.h>

// libjpeg's table builder (jchuff.c), exported by the library though no public header names it.
extern "C" void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);

#include "platform/CodecRegistry.h"

namespace {

struct ErrorTrap {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

// libjpeg's default error exit ends the process; this one returns to the caller's setjmp.
[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    std::longjmp(trap->jump, 1);
}

void SilentMessage(j_common_ptr) {}

// The "AVI1" APP0 segment of Motion-JPEG frames in AVI files: polarity 0 (whole frame, not a
// field), then reserved bytes and two field sizes that readers do not need.
const JOCTET kAvi1Marker[14] = {'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// ---- Huffman statistics -------------------------------------------------------------------
//
// With Huffman optimisation libjpeg first counts, for every block, the symbols its entropy coder
// will write (F.1.2 of the JPEG standard: DC difference categories, AC run/size pairs, ZRL and
// EOB), builds the optimal tables from the counts and then codes the blocks. Its counting pass
// looks at the 63 AC coefficients one by one and costs more than the whole coding pass. The pass
// here counts the same symbols from a mask of the non-zero coefficients in zig-zag order, so
// that it only visits the coefficients that are there. libjpeg lets an application stand in for
// one of its modules through jpegint.h: this one takes the statistics pass of its entropy coder
// and hands the counts to libjpeg's own table builder; the coding pass is libjpeg's, so the file
// is the one libjpeg alone would write.

constexpr int kMaxCoefBits = 10;  // of 8-bit samples; a larger coefficient is a libjpeg error
constexpr int kHuffSymbols = 257;  // 256 symbols and the one libjpeg reserves

// Zig-zag position of each coefficient in natural (row by row) order.
constexpr uint8_t kZigZagOf[DCTSIZE2] = {
    0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42, 3,  8,  12, 17, 25, 30,
    41, 43, 9,  11, 18, 24, 31, 40, 44, 53, 10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38,
    46, 51, 55, 60, 21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};

// kZigZagBits[r][b]: the zig-zag mask of the coefficients of row r whose bits are set in b.
struct ZigZagBits {
    uint64_t bits[DCTSIZE][256];
    ZigZagBits() {
        for (int r = 0; r < DCTSIZE; ++r)
            for (int b = 0; b < 256; ++b) {
                uint64_t mask = 0;
                for (int c = 0; c < DCTSIZE; ++c)
                    if (b & (1 << c))
                        mask |= uint64_t{1} << kZigZagOf[r * DCTSIZE + c];
                bits[r][b] = mask;
            }
    }
};
const ZigZagBits kZigZagBits;

// Natural position of each zig-zag position.
constexpr std::array<uint8_t, DCTSIZE2> kNaturalOf = [] {
    std::array<uint8_t, DCTSIZE2> natural{};
    for (int n = 0; n < DCTSIZE2; ++n)
        natural[kZigZagOf[n]] = static_cast<uint8_t>(n);
    return natural;
}();

// Bits of the non-zero coefficients, bit n for natural position n.
uint64_t NonZeroNatural(const JCOEF* block) {
#if defined(__SSE2__)
    uint64_t zero = 0;
    const __m128i nothing = _mm_setzero_si128();
    for (int i = 0; i < 4; ++i) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i + 8));
        __m128i bytes = _mm_packs_epi16(_mm_cmpeq_epi16(a, nothing), _mm_cmpeq_epi16(b, nothing));
        zero |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(bytes))) << (16 * i);
    }
    return ~zero;
#else
    uint64_t mask = 0;
    for (int n = 0; n < DCTSIZE2; ++n)
        mask |= static_cast<uint64_t>(block[n] != 0) << n;
    return mask;
#endif
}

int BitsOf(int value) { return value == 0 ? 0 : 32 - __builtin_clz(static_cast<unsigned>(value < 0 ? -value : value)); }

struct Statistics {
    long dc[NUM_HUFF_TBLS][kHuffSymbols];
    long ac[NUM_HUFF_TBLS][kHuffSymbols];
    int lastDc[MAX_COMPS_IN_SCAN];
};

[[noreturn]] void BadCoefficient(j_compress_ptr info) {
    info->err->msg_code = JERR_BAD_DCT_COEF;
    (*info->err->error_exit)(reinterpret_cast<j_common_ptr>(info));
    std::abort();  // error_exit does not return
}

void CountBlock(j_compress_ptr info, const JCOEF* block, int& lastDc, long* dc, long* ac) {
    const int dcBits = BitsOf(block[0] - lastDc);
    if (dcBits > kMaxCoefBits + 1)
        BadCoefficient(info);
    ++dc[dcBits];
    lastDc = block[0];

    uint64_t natural = NonZeroNatural(block);
    uint64_t zigZag = 0;
    for (int r = 0; r < DCTSIZE; ++r)
        zigZag |= kZigZagBits.bits[r][(natural >> (DCTSIZE * r)) & 0xFF];
    zigZag &= ~uint64_t{1};  // the DC coefficient is counted above
    int last = 0;
    while (zigZag) {
        const int k = __builtin_ctzll(zigZag);
        zigZag &= zigZag - 1;
        int run = k - last - 1;
        for (; run > 15; run -= 16)
            ++ac[0xF0];  // ZRL
        const int bits = BitsOf(block[kNaturalOf[static_cast<size_t>(k)]]);
        if (bits > kMaxCoefBits)
            BadCoefficient(info);
        ++ac[(run << 4) + bits];
        last = k;
    }
    if (last < DCTSIZE2 - 1)
        ++ac[0];  // EOB
}

boolean CountMcu(j_compress_ptr info, JBLOCKROW* mcu) {
    auto* stats = static_cast<Statistics*>(info->client_data);
    for (int b = 0; b < info->blocks_in_MCU; ++b) {
        const int component = info->MCU_membership[b];
        const jpeg_component_info* c = info->cur_comp_info[component];
        CountBlock(info, mcu[b][0], stats->lastDc[component], stats->dc[c->dc_tbl_no], stats->ac[c->ac_tbl_no]);
    }
    return TRUE;
}

// The optimal tables from the counts, each built once (libjpeg's builder consumes its counts).
void BuildTables(j_compress_ptr info) {
    auto* stats = static_cast<Statistics*>(info->client_data);
    bool doneDc[NUM_HUFF_TBLS] = {};
    bool doneAc[NUM_HUFF_TBLS] = {};
    for (int i = 0; i < info->comps_in_scan; ++i) {
        const jpeg_component_info* c = info->cur_comp_info[i];
        if (!doneDc[c->dc_tbl_no]) {
            JHUFF_TBL*& table = info->dc_huff_tbl_ptrs[c->dc_tbl_no];
            if (!table)
                table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(info));
            jpeg_gen_optimal_table(info, table, stats->dc[c->dc_tbl_no]);
            doneDc[c->dc_tbl_no] = true;
        }
        if (!doneAc[c->ac_tbl_no]) {
            JHUFF_TBL*& table = info->ac_huff_tbl_ptrs[c->ac_tbl_no];
            if (!table)
                table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(info));
            jpeg_gen_optimal_table(info, table, stats->ac[c->ac_tbl_no]);
            doneAc[c->ac_tbl_no] = true;
        }
    }
}

// Takes over the statistics pass that jpeg_start_compress has just begun, where the file is one
// scan of Huffman-coded blocks without restart markers (the only kind made here).
void CountWithOwnPass(jpeg_compress_struct& info, Statistics& stats) {
    if (!info.optimize_coding || info.progressive_mode || info.arith_code || info.restart_interval != 0 ||
        info.comps_in_scan > MAX_COMPS_IN_SCAN || !info.entropy)
        return;
    std::memset(&stats, 0, sizeof stats);
    info.client_data = &stats;
    info.entropy->encode_mcu = &CountMcu;
    info.entropy->finish_pass = &BuildTables;
}

// ---- One frame ----------------------------------------------------------------------------

struct Job {
    const DibLayout* layout;
    const uint8_t* bits;
    int quality;
    int hSample;
    int vSample;
    bool optimize;
    uint8_t* rows;  // kRowsAtOnce rows of width * 3 bytes, for paletted input
    unsigned char* out;
    unsigned long outBytes;
};

constexpr JDIMENSION kRowsAtOnce = 16;

// Everything between setjmp and the possible longjmp lives in trivially destructible objects.
bool RunJpeg(Job& job) {
    jpeg_compress_struct info;
    ErrorTrap trap;
    Statistics stats;
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = ErrorExit;
    trap.manager.output_message = SilentMessage;
    if (setjmp(trap.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &job.out, &job.outBytes);
    info.image_width = job.layout->width;
    info.image_height = job.layout->height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, job.quality, TRUE);
    info.comp_info[0].h_samp_factor = job.hSample;
    info.comp_info[0].v_samp_factor = job.vSample;
    info.optimize_coding = job.optimize ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    CountWithOwnPass(info, stats);
    jpeg_write_marker(&info, JPEG_APP0, kAvi1Marker, sizeof kAvi1Marker);
    const DibLayout& layout = *job.layout;
    const size_t rowBytes = static_cast<size_t>(layout.width) * 3;
    while (info.next_scanline < info.image_height) {
        // 24-bit rows are handed over where they lie (libjpeg only reads them); paletted rows
        // are expanded first.
        JSAMPROW rows[kRowsAtOnce];
        JDIMENSION count = std::min(kRowsAtOnce, info.image_height - info.next_scanline);
        for (JDIMENSION i = 0; i < count; ++i) {
            const uint32_t y = info.next_scanline + i;
            if (layout.bitCount == 24) {
                rows[i] = const_cast<JSAMPROW>(job.bits + static_cast<size_t>(layout.height - 1 - y) * layout.stride);
            } else {
                rows[i] = job.rows + rowBytes * i;
                DibRowToBgr(layout, job.bits, y, rows[i]);
            }
        }
        jpeg_write_scanlines(&info, rows, count);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

class JpegCompressor final : public VideoCompressor {
public:
    explicit JpegCompressor(const CodecEntry& entry) : entry_(entry) {}

    LRESULT Begin(const DibLayout& input, const CompressSettings& settings) override {
        input_ = input;
        // Quality 0..10000 as libjpeg's 1..100.
        DWORD q = settings.quality == ICQUALITY_DEFAULT ? entry_.defaultQuality : settings.quality;
        q = q > 10000 ? 10000 : q;
        quality_ = static_cast<int>((q + 50) / 100);
        if (quality_ < 1)
            quality_ = 1;
        switch (entry_.OptionChoice("Subsampling")) {
        case 1:
            hSample_ = 2;
            vSample_ = 1;
            break;
        case 2:
            hSample_ = 1;
            vSample_ = 1;
            break;
        default:
            hSample_ = 2;
            vSample_ = 2;
            break;
        }
        optimize_ = entry_.OptionChoice("OptimizeHuffman") == 1;
        // JPEG sides are 16-bit.
        if (input.width > 65500 || input.height > 65500)
            return ICERR_BADFORMAT;
        if (input.bitCount != 24)
            rows_.resize(static_cast<size_t>(input.width) * 3 * kRowsAtOnce);
        SetOutputFormat(input, entry_.fcc, 24, static_cast<uint32_t>(input.width * input.height * 3), nullptr, 0, 0);
        return ICERR_OK;
    }

    LRESULT Compress(const uint8_t* bits, bool, std::vector<uint8_t>& out, bool& key) override {
        Job job{&input_, bits, quality_, hSample_, vSample_, optimize_, rows_.data(), nullptr, 0};
        bool done = RunJpeg(job);
        if (done)
            out.assign(job.out, job.out + job.outBytes);
        std::free(job.out);
        key = true;
        return done ? ICERR_OK : ICERR_INTERNAL;
    }

    // Every frame is a JPEG of its own.
    std::unique_ptr<VideoCompressor> Twin() const override { return std::make_unique<JpegCompressor>(*this); }

private:
    const CodecEntry& entry_;
    DibLayout input_;
    int quality_ = 0;
    int hSample_ = 2;
    int vSample_ = 2;
    bool optimize_ = true;
    std::vector<uint8_t> rows_;  // paletted input only
};

}  // namespace

std::unique_ptr<VideoCompressor> CreateJpegCompressor(const CodecEntry& entry) {
    return std::make_unique<JpegCompressor>(entry);
}
