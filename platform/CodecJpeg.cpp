// "MJPG": every frame a baseline JPEG from libjpeg-turbo, marked as an AVI1 frame.

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

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

struct Job {
    const DibLayout* layout;
    const uint8_t* bits;
    int quality;
    int hSample;
    int vSample;
    bool optimize;
    uint8_t* row;  // width * 3 bytes
    unsigned char* out;
    unsigned long outBytes;
};

// Everything between setjmp and the possible longjmp lives in trivially destructible objects.
bool RunJpeg(Job& job) {
    jpeg_compress_struct info;
    ErrorTrap trap;
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
    jpeg_write_marker(&info, JPEG_APP0, kAvi1Marker, sizeof kAvi1Marker);
    while (info.next_scanline < info.image_height) {
        DibRowToBgr(*job.layout, job.bits, info.next_scanline, job.row);
        JSAMPROW rows[1] = {job.row};
        jpeg_write_scanlines(&info, rows, 1);
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
        row_.resize(static_cast<size_t>(input.width) * 3);
        SetOutputFormat(input, entry_.fcc, 24, static_cast<uint32_t>(input.width * input.height * 3), nullptr, 0, 0);
        return ICERR_OK;
    }

    LRESULT Compress(const uint8_t* bits, bool, std::vector<uint8_t>& out, bool& key) override {
        Job job{&input_, bits, quality_, hSample_, vSample_, optimize_, row_.data(), nullptr, 0};
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
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<VideoCompressor> CreateJpegCompressor(const CodecEntry& entry) {
    return std::make_unique<JpegCompressor>(entry);
}
