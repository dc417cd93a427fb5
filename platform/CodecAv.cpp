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
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CodecRegistry.h"

namespace {

void QuietLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int ErrnoOf(int averror) { return averror < 0 && averror > -4096 ? -averror : EIO; }

DWORD QualityOr(DWORD quality, DWORD fallback) {
    if (quality == ICQUALITY_DEFAULT)
        return fallback;
    return quality > 10000 ? 10000 : quality;
}

// ---- Setting up each encoder --------------------------------------------------------------

// A compressor's option choices as stored when it was first set up; a twin is set up with the
// same ones, whatever the settings file says by then.
class Choices {
public:
    explicit Choices(const CodecEntry& entry) : entry_(&entry) {
        for (const CodecOptionSpec& option : entry.options)
            chosen_.push_back(entry.OptionChoice(option.key));
    }
    int Choice(const char* key) const {
        for (size_t i = 0; i < entry_->options.size(); ++i)
            if (std::strcmp(entry_->options[i].key, key) == 0)
                return chosen_[i];
        return 0;
    }
    const CodecEntry& Entry() const { return *entry_; }
    const char* Text(const char* key) const {
        for (size_t i = 0; i < entry_->options.size(); ++i)
            if (std::strcmp(entry_->options[i].key, key) == 0)
                return entry_->options[i].choices[chosen_[i]];
        return "";
    }

private:
    const CodecEntry* entry_;
    std::vector<int> chosen_;
};

using Tuner = void (*)(AVCodecContext* c, const Choices& choices, const CompressSettings& settings);

void TuneX264(AVCodecContext* c, const Choices& choices, const CompressSettings& settings) {
    // One frame in gives one frame out (no look-ahead, no B-frames), sliced over the threads:
    // the AVI gets every frame as it is written, in order. At equal PSNR this costs under 2% in
    // size against x264's look-ahead.
    // The registry's preset and tune choices are x264's own names, but for "none".
    std::string tune = choices.Text("Tune");
    tune = tune == "none" ? "zerolatency" : tune + ",zerolatency";
    av_opt_set(c->priv_data, "preset", choices.Text("Preset"), 0);
    av_opt_set(c->priv_data, "tune", tune.c_str(), 0);
    // Quality 0..10000 as the constant rate factor: 10000 is lossless (0), 0 the coarsest (51).
    double crf = 23.0;  // x264's own default
    if (settings.quality != ICQUALITY_DEFAULT)
        crf = 51.0 * (10000.0 - QualityOr(settings.quality, 0)) / 10000.0;
    av_opt_set_double(c->priv_data, "crf", crf, 0);
    c->thread_count = 0;
    av_opt_set(c->priv_data, "x264-params", "sliced-threads=1:rc-lookahead=0:sync-lookahead=0", 0);
}

void TuneMpeg4(AVCodecContext* c, const Choices& choices, const CompressSettings& settings) {
    // Quality 0..10000 as a fixed quantiser, 1 (best) to 31.
    DWORD quality = QualityOr(settings.quality, choices.Entry().defaultQuality);
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * (1 + static_cast<int>((10000 - quality) * 30 / 10000));
    c->mb_decision = choices.Choice("MbDecision");
}

void TuneFfv1(AVCodecContext* c, const Choices& choices, const CompressSettings& settings) {
    // FFV1 starts a key frame only at its interval and cannot be asked for one in between;
    // without an interval every frame is a key frame.
    c->gop_size = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery : 1);
    av_opt_set_int(c->priv_data, "coder", choices.Choice("Coder"), 0);
    av_opt_set_int(c->priv_data, "context", choices.Choice("Context"), 0);
}

void TuneHuffyuv(AVCodecContext* c, const Choices& choices, const CompressSettings&) {
    av_opt_set_int(c->priv_data, "pred", choices.Choice("Predictor"), 0);
}

void TunePng(AVCodecContext* c, const Choices& choices, const CompressSettings&) {
    static const int kLevels[] = {1, 6, 9};  // zlib levels of "Fastest", "Default", "Smallest"
    size_t level = static_cast<size_t>(choices.Choice("Level"));
    c->compression_level = kLevels[level < std::size(kLevels) ? level : 1];
}

void TuneCinepak(AVCodecContext* c, const Choices&, const CompressSettings& settings) {
    // Cinepak starts key frames by its own count (keyint_min) only; as with FFV1, no interval
    // means every frame is a key frame.
    c->keyint_min = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery : 1);
    c->gop_size = c->keyint_min;
}

void TuneVideo1(AVCodecContext* c, const Choices&, const CompressSettings& settings) {
    // Video 1 counts the delta frames between two key frames in keyint_min.
    c->keyint_min = static_cast<int>(settings.keyFrameEvery ? settings.keyFrameEvery - 1 : 0);
    c->gop_size = c->keyint_min + 1;
}

/// Whether an encoder's output for a frame depends on that frame alone. FFV1 carries its
/// adaptive coder state from a key frame to the frames after it.
enum class FrameCoding { Own, OwnWhenEveryFrameIsKey, Temporal };

/// How one encoder is fed and set up. The registry row says which encoder a code uses, its
/// key-frame rate and its options.
struct AvTuning {
    const char* encoder;
    AVPixelFormat pixelFormat;
    AVPixelFormat oddSidesFormat;  // for a picture with an odd side; AV_PIX_FMT_NONE: the same
    Tuner tune;                    // null: nothing beyond the common settings
    DWORD outputCompression;       // biCompression of the frames; 0: the registry code
    FrameCoding coding;
};

const AvTuning kTunings[] = {
    // 4:2:0 needs even sides; other pictures keep full chroma.
    {"libx264", AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV444P, &TuneX264, 0, FrameCoding::Temporal},
    {"mpeg4", AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE, &TuneMpeg4, 0, FrameCoding::Temporal},
    {"ffv1", AV_PIX_FMT_0RGB32, AV_PIX_FMT_NONE, &TuneFfv1, 0, FrameCoding::OwnWhenEveryFrameIsKey},
    {"huffyuv", AV_PIX_FMT_RGB24, AV_PIX_FMT_NONE, &TuneHuffyuv, 0, FrameCoding::Own},
    {"png", AV_PIX_FMT_RGB24, AV_PIX_FMT_NONE, &TunePng, 0, FrameCoding::Own},
    {"utvideo", AV_PIX_FMT_GBRP, AV_PIX_FMT_NONE, nullptr, 0, FrameCoding::Own},
    // Readers know Cinepak frames by the lower-case code. Cinepak and Video 1 keep the picture
    // before, for their skipped blocks, even where every frame is a key frame.
    {"cinepak", AV_PIX_FMT_RGB24, AV_PIX_FMT_NONE, &TuneCinepak, mmioFOURCC('c', 'v', 'i', 'd'),
     FrameCoding::Temporal},
    {"msvideo1", AV_PIX_FMT_RGB555, AV_PIX_FMT_NONE, &TuneVideo1, 0, FrameCoding::Temporal},
};

// ---- Pixels into frames -------------------------------------------------------------------

uint8_t* PlaneRow(AVFrame* f, int plane, uint32_t y) {
    return f->data[plane] + static_cast<ptrdiff_t>(y) * f->linesize[plane];
}

// Calls putRow(bgrRow, y) for each row of a BGR picture, y counted from the top; the row y
// starts at bgr + y * stride.
template <typename PutRow>
void EachRow(const uint8_t* bgr, ptrdiff_t stride, uint32_t height, PutRow putRow) {
    for (uint32_t y = 0; y < height; ++y)
        putRow(bgr + stride * static_cast<ptrdiff_t>(y), y);
}

void FillFrame(const uint8_t* bgr, ptrdiff_t stride, uint32_t w, uint32_t h, AVFrame* f) {
    switch (f->format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUV444P: {
        int shift = f->format == AV_PIX_FMT_YUV420P ? 1 : 0;
        BgrToYuv(bgr, stride, w, h, shift, shift, f->data[0], f->linesize[0], f->data[1], f->linesize[1],
                 f->data[2], f->linesize[2]);
        break;
    }
    case AV_PIX_FMT_0RGB32:  // B, G, R, unused in memory order
        EachRow(bgr, stride, h, [&](const uint8_t* p, uint32_t y) {
            uint8_t* q = PlaneRow(f, 0, y);
            for (uint32_t x = 0; x < w; ++x) {
                std::memcpy(q + 4 * x, p + 3 * x, 3);
                q[4 * x + 3] = 0;
            }
        });
        break;
    case AV_PIX_FMT_RGB24:
        EachRow(bgr, stride, h, [&](const uint8_t* p, uint32_t y) {
            uint8_t* q = PlaneRow(f, 0, y);
            for (uint32_t x = 0; x < w; ++x) {
                q[3 * x] = p[3 * x + 2];
                q[3 * x + 1] = p[3 * x + 1];
                q[3 * x + 2] = p[3 * x];
            }
        });
        break;
    case AV_PIX_FMT_GBRP:
        EachRow(bgr, stride, h, [&](const uint8_t* p, uint32_t y) {
            uint8_t* g = PlaneRow(f, 0, y);
            uint8_t* b = PlaneRow(f, 1, y);
            uint8_t* r = PlaneRow(f, 2, y);
            for (uint32_t x = 0; x < w; ++x) {
                b[x] = p[3 * x];
                g[x] = p[3 * x + 1];
                r[x] = p[3 * x + 2];
            }
        });
        break;
    case AV_PIX_FMT_RGB555:  // native-endian 16-bit 0RRRRRGGGGGBBBBB
        EachRow(bgr, stride, h, [&](const uint8_t* p, uint32_t y) {
            auto* q = reinterpret_cast<uint16_t*>(PlaneRow(f, 0, y));
            for (uint32_t x = 0; x < w; ++x)
                q[x] = static_cast<uint16_t>(((p[3 * x + 2] >> 3) << 10) | ((p[3 * x + 1] >> 3) << 5) |
                                             (p[3 * x] >> 3));
        });
        break;
    default:
        break;
    }
}

// ---- The compressor -----------------------------------------------------------------------

class AvCompressor final : public VideoCompressor {
public:
    AvCompressor(const CodecEntry& entry, const AvTuning& tuning) : entry_(entry), tuning_(tuning) {}
    ~AvCompressor() override {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&context_);
    }
    AvCompressor(const AvCompressor&) = delete;
    AvCompressor& operator=(const AvCompressor&) = delete;

    LRESULT Begin(const DibLayout& input, const CompressSettings& settings) override {
        QuietLibrary();
        const AVCodec* codec = avcodec_find_encoder_by_name(tuning_.encoder);
        if (!codec) {
            errno = ENOENT;
            return ICERR_INTERNAL;
        }
        input_ = input;
        settings_ = settings;
        if (!choices_)
            choices_ = std::make_shared<const Choices>(entry_);
        LRESULT made = MakeContext(codec, settings);
        if (made != ICERR_OK)
            return made;
        int opened = avcodec_open2(context_, codec, nullptr);
        if (opened < 0) {
            errno = ErrnoOf(opened);
            return ICERR_BADFORMAT;
        }
        av_frame_unref(frame_);
        frame_->format = context_->pix_fmt;
        frame_->width = context_->width;
        frame_->height = context_->height;
        if (av_frame_get_buffer(frame_, 0) < 0) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        frameNumber_ = 0;

        const AVCodecContext* c = context_;
        WORD bitCount = static_cast<WORD>(c->bits_per_coded_sample > 0 ? c->bits_per_coded_sample : 24);
        DWORD compression = tuning_.outputCompression ? tuning_.outputCompression : entry_.fcc;
        SetOutputFormat(input, compression, bitCount, static_cast<uint32_t>(input.width * input.height * 3),
                        c->extradata, static_cast<size_t>(c->extradata_size > 0 ? c->extradata_size : 0), 0);
        return ICERR_OK;
    }

    LRESULT Compress(const uint8_t* bits, bool forceKey, std::vector<uint8_t>& out, bool& key) override {
        LRESULT sent = Send(bits, forceKey);
        if (sent != ICERR_OK)
            return sent;
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

    std::unique_ptr<VideoCompressor> Twin() const override {
        const bool own = tuning_.coding == FrameCoding::Own ||
                         (tuning_.coding == FrameCoding::OwnWhenEveryFrameIsKey && context_ && context_->gop_size == 1);
        if (!own || !context_ || !avcodec_is_open(context_))
            return nullptr;
        auto twin = std::make_unique<AvCompressor>(entry_, tuning_);
        twin->choices_ = choices_;
        if (twin->Begin(input_, settings_) != ICERR_OK)
            return nullptr;
        return twin;
    }

private:
    // Hands one frame of the input format to the encoder.
    LRESULT Send(const uint8_t* bits, bool forceKey) {
        if (!context_ || !avcodec_is_open(context_)) {
            errno = EINVAL;
            return ICERR_BADHANDLE;
        }
        if (av_frame_make_writable(frame_) < 0) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        // 24-bit rows are read where they lie, from the bottom-up DIB; paletted ones are expanded.
        if (input_.bitCount == 24) {
            const ptrdiff_t stride = static_cast<ptrdiff_t>(input_.stride);
            FillFrame(bits + stride * (input_.height - 1), -stride, input_.width, input_.height, frame_);
        } else {
            DibToBgr(input_, bits, bgr_);
            FillFrame(bgr_.data(), static_cast<ptrdiff_t>(input_.width) * 3, input_.width, input_.height, frame_);
        }
        frame_->pts = frameNumber_++;
        // The MPEG-4 encoder takes a fixed quantiser from each frame, not from the context.
        frame_->quality = context_->global_quality;
        frame_->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        int sent = avcodec_send_frame(context_, frame_);
        if (sent < 0) {
            errno = ErrnoOf(sent);
            return ICERR_INTERNAL;
        }
        return ICERR_OK;
    }

    // A new encoder context for the input with the settings every encoder shares, then the
    // encoder's own.
    LRESULT MakeContext(const AVCodec* codec, const CompressSettings& settings) {
        avcodec_free_context(&context_);
        context_ = avcodec_alloc_context3(codec);
        frame_ = frame_ ? frame_ : av_frame_alloc();
        packet_ = packet_ ? packet_ : av_packet_alloc();
        if (!context_ || !frame_ || !packet_) {
            errno = ENOMEM;
            return ICERR_MEMORY;
        }
        AVCodecContext* c = context_;
        c->width = static_cast<int>(input_.width);
        c->height = static_cast<int>(input_.height);
        DWORD rate = settings.rate ? settings.rate : 25;
        DWORD scale = settings.scale ? settings.scale : 1;
        c->time_base = AVRational{static_cast<int>(scale), static_cast<int>(rate)};
        c->framerate = AVRational{static_cast<int>(rate), static_cast<int>(scale)};
        // A registry rate of 0 means that every frame stands alone.
        DWORD keyRate = settings.keyFrameEvery ? settings.keyFrameEvery : entry_.defaultKeyRate;
        c->gop_size = static_cast<int>(keyRate ? keyRate : 1);
        c->max_b_frames = 0;
        c->thread_count = 1;
        c->thread_type = FF_THREAD_SLICE;
        bool evenSides = input_.width % 2 == 0 && input_.height % 2 == 0;
        c->pix_fmt = evenSides || tuning_.oddSidesFormat == AV_PIX_FMT_NONE ? tuning_.pixelFormat
                                                                             : tuning_.oddSidesFormat;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT470BG;
        c->color_primaries = AVCOL_PRI_BT470BG;
        c->color_trc = AVCOL_TRC_GAMMA28;
        if (tuning_.tune)
            tuning_.tune(c, *choices_, settings);
        return ICERR_OK;
    }

    const CodecEntry& entry_;
    const AvTuning& tuning_;
    DibLayout input_;
    CompressSettings settings_;
    std::shared_ptr<const Choices> choices_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t frameNumber_ = 0;
    std::vector<uint8_t> bgr_;
};

}  // namespace

std::unique_ptr<VideoCompressor> CreateAvCompressor(const CodecEntry& entry) {
    for (const AvTuning& tuning : kTunings)
        if (entry.encoder && std::strcmp(tuning.encoder, entry.encoder) == 0)
            return std::make_unique<AvCompressor>(entry, tuning);
    return nullptr;
}
