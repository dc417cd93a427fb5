// The compressors built on libavcodec encoders. Each is set up so that every frame handed in
// comes out at once as exactly one frame (no B-frames, no look-ahead, slice threads only), so
// decode order is write order and a killed writer leaves no frame behind in an encoder.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/CodecCompressor.h"

namespace {

constexpr DWORD kH264 = mmioFOURCC('H', '2', '6', '4');
constexpr DWORD kFmp4 = mmioFOURCC('F', 'M', 'P', '4');
constexpr DWORD kFfv1 = mmioFOURCC('F', 'F', 'V', '1');
constexpr DWORD kHfyu = mmioFOURCC('H', 'F', 'Y', 'U');
constexpr DWORD kMpng = mmioFOURCC('M', 'P', 'N', 'G');
constexpr DWORD kUlrg = mmioFOURCC('U', 'L', 'R', 'G');
constexpr DWORD kCvid = mmioFOURCC('C', 'V', 'I', 'D');
constexpr DWORD kMsvc = mmioFOURCC('M', 'S', 'V', 'C');

struct AvCodecSpec {
    DWORD fcc;
    const char* encoder;
    DWORD compression;  // biCompression of the output
    DWORD defaultKeyRate;
};

const AvCodecSpec kSpecs[] = {
    {kH264, "libx264", kH264, 250},
    {kFmp4, "mpeg4", kFmp4, 250},
    {kFfv1, "ffv1", kFfv1, 25},
    {kHfyu, "huffyuv", kHfyu, 1},
    {kMpng, "png", kMpng, 1},
    {kUlrg, "utvideo", kUlrg, 1},
    {kCvid, "cinepak", mmioFOURCC('c', 'v', 'i', 'd'), 15},
    {kMsvc, "msvideo1", kMsvc, 15},
};

void QuietLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int ErrnoOf(int averror) { return averror < 0 && averror > -4096 ? -averror : EIO; }

// Quality 0..10000 as x264's constant rate factor: 10000 is lossless (0), 0 the coarsest (51).
double CrfFor(DWORD quality) {
    if (quality == ICQUALITY_DEFAULT)
        return 23.0;
    if (quality > 10000)
        quality = 10000;
    return 51.0 * (10000.0 - quality) / 10000.0;
}

// Quality 0..10000 as an MPEG-4 quantiser, 1 (best) to 31.
int QscaleFor(DWORD quality) {
    if (quality == ICQUALITY_DEFAULT)
        quality = 7500;
    if (quality > 10000)
        quality = 10000;
    return 1 + static_cast<int>((10000 - quality) * 30 / 10000);
}

const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                "medium",    "slow",      "slower",   "veryslow"};
const char* const kTunes[] = {"", "film", "animation", "grain", "stillimage"};

class AvCompressor final : public VideoCompressor {
public:
    explicit AvCompressor(const AvCodecSpec& desc) : spec_(desc) {}
    ~AvCompressor() override {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&context_);
    }
    AvCompressor(const AvCompressor&) = delete;
    AvCompressor& operator=(const AvCompressor&) = delete;

    LRESULT Begin(const DibLayout& input, const CompressSettings& settings) override {
        QuietLibrary();
        const AVCodec* codec = avcodec_find_encoder_by_name(spec_.encoder);
        if (!codec) {
            errno = ENOENT;
            return ICERR_INTERNAL;
        }
        input_ = input;
        avcodec_free_context(&context_);
        context_ = avcodec_alloc_context3(codec);
        frame_ = frame_ ? frame_ : av_frame_alloc();
        packet_ = packet_ ? packet_ : av_packet_alloc();
        if (!context_ || !frame_ || !packet_) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        AVCodecContext* c = context_;
        c->width = static_cast<int>(input.width);
        c->height = static_cast<int>(input.height);
        DWORD rate = settings.rate ? settings.rate : 25;
        DWORD scale = settings.scale ? settings.scale : 1;
        c->time_base = AVRational{static_cast<int>(scale), static_cast<int>(rate)};
        c->framerate = AVRational{static_cast<int>(rate), static_cast<int>(scale)};
        c->gop_size = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery : spec_.defaultKeyRate);
        c->max_b_frames = 0;
        c->thread_count = 1;
        c->thread_type = FF_THREAD_SLICE;
        c->pix_fmt = PixelFormatFor(input);
        if (c->pix_fmt == AV_PIX_FMT_NONE) {
            errno = EINVAL;
            return ICERR_BADFORMAT;
        }
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT470BG;
        c->color_primaries = AVCOL_PRI_BT470BG;
        c->color_trc = AVCOL_TRC_GAMMA28;
        SetCodecOptions(settings);

        int opened = avcodec_open2(c, codec, nullptr);
        if (opened < 0) {
            errno = ErrnoOf(opened);
            return ICERR_BADFORMAT;
        }
        av_frame_unref(frame_);
        frame_->format = c->pix_fmt;
        frame_->width = c->width;
        frame_->height = c->height;
        if (av_frame_get_buffer(frame_, 0) < 0) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        frameNumber_ = 0;

        WORD bitCount = static_cast<WORD>(c->bits_per_coded_sample > 0 ? c->bits_per_coded_sample : 24);
        SetOutputFormat(input, spec_.compression, bitCount,
                        static_cast<uint32_t>(input.width * input.height * 3), c->extradata,
                        static_cast<size_t>(c->extradata_size > 0 ? c->extradata_size : 0), 0);
        return ICERR_OK;
    }

    LRESULT Compress(const uint8_t* bits, bool forceKey, std::vector<uint8_t>& out, bool& key) override {
        if (!context_ || !avcodec_is_open(context_)) {
            errno = EINVAL;
            return ICERR_BADHANDLE;
        }
        if (av_frame_make_writable(frame_) < 0) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        DibToBgr(input_, bits, bgr_);
        FillFrame();
        frame_->pts = frameNumber_++;
        // The MPEG-4 encoder takes a fixed quantiser from each frame, not from the context.
        frame_->quality = context_->global_quality;
        frame_->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        int sent = avcodec_send_frame(context_, frame_);
        if (sent < 0) {
            errno = ErrnoOf(sent);
            return ICERR_INTERNAL;
        }
        int received = avcodec_receive_packet(context_, packet_);
        if (received < 0) {
            // An encoder that holds frames back would break one frame per chunk.
            errno = received == AVERROR(EAGAIN) ? EPROTO : ErrnoOf(received);
            return ICERR_INTERNAL;
        }
        out.assign(packet_->data, packet_->data + packet_->size);
        key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet_);
        return ICERR_OK;
    }

private:
    AVPixelFormat PixelFormatFor(const DibLayout& input) const {
        switch (spec_.fcc) {
        case kH264:
            // 4:2:0 needs even sides; other pictures keep full chroma.
            return (input.width % 2 == 0 && input.height % 2 == 0) ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
        case kFmp4:
            return AV_PIX_FMT_YUV420P;
        case kFfv1:
            return AV_PIX_FMT_0RGB32;
        case kHfyu:
        case kMpng:
        case kCvid:
            return AV_PIX_FMT_RGB24;
        case kUlrg:
            return AV_PIX_FMT_GBRP;
        case kMsvc:
            return AV_PIX_FMT_RGB555;
        default:
            return AV_PIX_FMT_NONE;
        }
    }

    void SetCodecOptions(const CompressSettings& settings) {
        AVCodecContext* c = context_;
        switch (spec_.fcc) {
        case kH264: {
            int preset = CodecOptionChoiceByKey(spec_.fcc, "Preset");
            int tune = CodecOptionChoiceByKey(spec_.fcc, "Tune");
            std::string tuning = kTunes[tune >= 0 && tune < 5 ? tune : 0];
            tuning += tuning.empty() ? "zerolatency" : ",zerolatency";
            av_opt_set(c->priv_data, "preset", kPresets[preset >= 0 && preset < 9 ? preset : 5], 0);
            av_opt_set(c->priv_data, "tune", tuning.c_str(), 0);
            av_opt_set_double(c->priv_data, "crf", CrfFor(settings.quality), 0);
            // Frames sliced over threads come out at once; frame threads would hold them back.
            c->thread_count = 0;
            av_opt_set(c->priv_data, "x264-params", "sliced-threads=1:rc-lookahead=0:sync-lookahead=0", 0);
            break;
        }
        case kFmp4:
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * QscaleFor(settings.quality);
            c->mb_decision = CodecOptionChoiceByKey(spec_.fcc, "MbDecision");
            break;
        case kFfv1:
            // FFV1 starts a key frame only at its interval and cannot be asked for one in
            // between; without an interval every frame is a key frame.
            c->gop_size = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery : 1);
            av_opt_set_int(c->priv_data, "coder", CodecOptionChoiceByKey(spec_.fcc, "Coder"), 0);
            av_opt_set_int(c->priv_data, "context", CodecOptionChoiceByKey(spec_.fcc, "Context"), 0);
            break;
        case kCvid:
            // Cinepak starts key frames by its own count (keyint_min) only; as with FFV1, no
            // interval means every frame is a key frame.
            c->keyint_min = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery : 1);
            c->gop_size = c->keyint_min;
            break;
        case kMsvc:
            // Video 1 counts the delta frames between two key frames in keyint_min.
            c->keyint_min = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery - 1 : 0);
            c->gop_size = c->keyint_min + 1;
            break;
        case kHfyu:
            av_opt_set_int(c->priv_data, "pred", CodecOptionChoiceByKey(spec_.fcc, "Predictor"), 0);
            break;
        case kMpng: {
            static const int levels[] = {1, 6, 9};
            int level = CodecOptionChoiceByKey(spec_.fcc, "Level");
            c->compression_level = levels[level >= 0 && level < 3 ? level : 1];
            break;
        }
        default:
            break;
        }
    }

    void FillFrame() {
        const uint32_t w = input_.width;
        const uint32_t h = input_.height;
        const uint8_t* src = bgr_.data();
        AVFrame* f = frame_;
        switch (context_->pix_fmt) {
        case AV_PIX_FMT_YUV420P:
            BgrToYuv(src, w, h, 1, 1, f->data[0], f->linesize[0], f->data[1], f->linesize[1], f->data[2],
                     f->linesize[2]);
            break;
        case AV_PIX_FMT_YUV444P:
            BgrToYuv(src, w, h, 0, 0, f->data[0], f->linesize[0], f->data[1], f->linesize[1], f->data[2],
                     f->linesize[2]);
            break;
        case AV_PIX_FMT_0RGB32:  // B, G, R, unused in memory order
            for (uint32_t y = 0; y < h; ++y) {
                const uint8_t* p = src + static_cast<size_t>(y) * w * 3;
                uint8_t* q = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
                for (uint32_t x = 0; x < w; ++x) {
                    q[4 * x] = p[3 * x];
                    q[4 * x + 1] = p[3 * x + 1];
                    q[4 * x + 2] = p[3 * x + 2];
                    q[4 * x + 3] = 0;
                }
            }
            break;
        case AV_PIX_FMT_RGB24:
            for (uint32_t y = 0; y < h; ++y) {
                const uint8_t* p = src + static_cast<size_t>(y) * w * 3;
                uint8_t* q = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
                for (uint32_t x = 0; x < w; ++x) {
                    q[3 * x] = p[3 * x + 2];
                    q[3 * x + 1] = p[3 * x + 1];
                    q[3 * x + 2] = p[3 * x];
                }
            }
            break;
        case AV_PIX_FMT_GBRP:
            for (uint32_t y = 0; y < h; ++y) {
                const uint8_t* p = src + static_cast<size_t>(y) * w * 3;
                uint8_t* g = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
                uint8_t* b = f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1];
                uint8_t* r = f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2];
                for (uint32_t x = 0; x < w; ++x) {
                    b[x] = p[3 * x];
                    g[x] = p[3 * x + 1];
                    r[x] = p[3 * x + 2];
                }
            }
            break;
        case AV_PIX_FMT_RGB555:  // native-endian 16-bit 0RRRRRGGGGGBBBBB
            for (uint32_t y = 0; y < h; ++y) {
                const uint8_t* p = src + static_cast<size_t>(y) * w * 3;
                auto* q = reinterpret_cast<uint16_t*>(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0]);
                for (uint32_t x = 0; x < w; ++x)
                    q[x] = static_cast<uint16_t>(((p[3 * x + 2] >> 3) << 10) | ((p[3 * x + 1] >> 3) << 5) |
                                                 (p[3 * x] >> 3));
            }
            break;
        default:
            break;
        }
    }

    AvCodecSpec spec_;
    DibLayout input_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t frameNumber_ = 0;
    std::vector<uint8_t> bgr_;
};

}  // namespace

std::unique_ptr<VideoCompressor> CreateAvCompressor(DWORD fccHandler) {
    for (const AvCodecSpec& desc : kSpecs)
        if (desc.fcc == fccHandler)
            return std::make_unique<AvCompressor>(desc);
    return nullptr;
}
