// GIF decoder: picks one frame of a possibly animated file, reports the number of frames, carries
// the transparent index into backgroundIndex, composes frames that leave the previous picture in
// place, and paints offset frames of a file without a global colour table onto a canvas of the
// logical screen size. Failures carry no message, except for pictures too large to hold.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/ByteReader.h"
#include "image/Decoders.h"

namespace {

// Header, 13 bytes: "GIF8" and two version bytes, logical screen width u16, height u16, flags u8
// (bit 7 global colour table, bits 0-2 its size s for 2^(s+1) entries), background colour u8,
// aspect ratio u8.
constexpr size_t kHeaderSize = 13;
// Image descriptor, 9 bytes after the ',' introducer: left, top, width, height u16, flags u8
// (bit 7 local colour table, bit 6 interlaced, bits 0-2 table size).
constexpr size_t kDescriptorSize = 9;

constexpr int kExtensionIntroducer = 0x21;
constexpr int kImageIntroducer = 0x2C;
constexpr int kTrailer = 0x3B;
constexpr int kGraphicControlLabel = 0xF9;
constexpr int kCommentLabel = 0xFE;
constexpr int kApplicationLabel = 0xFF;

constexpr size_t kInputBufferSize = 16384;
constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;

struct ColorTable {
    uint32_t count = 0;
    uint8_t rgb[256 * 3] = {};
};

struct ImageDescriptor {
    uint16_t left;
    uint16_t top;
    uint16_t width;
    uint16_t height;
    bool interlaced;
    bool localTable;
    uint32_t localTableSize;
};

/// The graphic control extension in force for the next image.
struct GraphicControl {
    bool transparent = false;
    uint16_t delay = 0;
    uint8_t transparentIndex = 0;
    uint8_t disposal = 0;
};

bool ReadColorTable(ImageStream& stream, uint32_t count, ColorTable& table) {
    table.count = count;
    return ReadExact(stream, table.rgb, 3 * static_cast<size_t>(count));
}

/// Skips data sub-blocks up to and including the zero-length terminator.
bool SkipSubBlocks(ImageStream& stream) {
    for (;;) {
        int length = stream.GetByte();
        if (length < 0)
            return false;
        if (length == 0)
            return true;
        if (!stream.SeekTo(length, SEEK_CUR))
            return false;
    }
}

/// Image data sub-blocks read through a 16384-byte buffer rather than byte by byte from the
/// stream. Restore() puts the stream back right after the bytes actually used.
class DataBlocks {
public:
    DataBlocks(ImageStream& stream, std::vector<uint8_t>& buffer) : stream_(stream), buffer_(buffer) {}

    /// The next data byte, or -1 at the terminator or the end of the file.
    int Next() {
        while (blockLeft_ == 0) {
            if (ended_)
                return -1;
            int length = Raw();
            if (length <= 0) {
                ended_ = true;
                return -1;
            }
            blockLeft_ = static_cast<uint32_t>(length);
        }
        int byte = Raw();
        if (byte < 0) {
            ended_ = true;
            return -1;
        }
        --blockLeft_;
        return byte;
    }

    void SkipRest() {
        while (Next() >= 0) {
        }
    }

    void Restore() {
        if (length_ > position_)
            stream_.SeekTo(-static_cast<int64_t>(length_ - position_), SEEK_CUR);
        length_ = position_ = 0;
    }

private:
    int Raw() {
        if (position_ == length_) {
            length_ = stream_.ReadItems(buffer_.data(), 1, buffer_.size());
            position_ = 0;
            if (length_ == 0)
                return -1;
        }
        return buffer_[position_++];
    }

    ImageStream& stream_;
    std::vector<uint8_t>& buffer_;
    size_t length_ = 0;
    size_t position_ = 0;
    uint32_t blockLeft_ = 0;
    bool ended_ = false;
};

/// Receives decoded palette indices line by line and writes them into the picture's rows from the
/// top down, in the four-pass order for interlaced images. Lines beyond the picture are dropped.
class LineWriter {
public:
    LineWriter(CPixImage& image, bool interlaced, uint8_t fill)
        : image_(image), interlaced_(interlaced), fill_(fill), line_(image.Width(), fill) {}

    /// False once every line of the picture has been written.
    bool Put(uint8_t index) {
        line_[used_++] = index;
        if (used_ == line_.size())
            WriteLine();
        return !Done();
    }

    /// Writes a partly filled last line.
    void Finish() {
        if (used_ > 0 && !Done())
            WriteLine();
    }

    bool Done() const { return row_ >= image_.Height(); }

private:
    void WriteLine() {
        uint8_t* target = image_.Row(image_.Height() - 1 - row_);
        const uint32_t depth = image_.BitsPerPixel();
        if (depth == 8) {
            std::memcpy(target, line_.data(), line_.size());
        } else {
            const uint32_t perByte = 8 / depth;
            const uint32_t mask = (1u << depth) - 1;
            std::memset(target, 0, (line_.size() + perByte - 1) / perByte);
            for (size_t x = 0; x < line_.size(); ++x) {
                const uint32_t shift = 8 - depth * static_cast<uint32_t>(x % perByte + 1);
                target[x / perByte] = static_cast<uint8_t>(target[x / perByte] | ((line_[x] & mask) << shift));
            }
        }
        std::fill(line_.begin(), line_.end(), fill_);
        used_ = 0;
        NextRow();
    }

    void NextRow() {
        static constexpr uint32_t kStart[4] = {0, 4, 2, 1};
        static constexpr uint32_t kStep[4] = {8, 8, 4, 2};
        if (!interlaced_) {
            ++row_;
            return;
        }
        row_ += kStep[pass_];
        while (row_ >= image_.Height() && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

    CPixImage& image_;
    bool interlaced_;
    uint8_t fill_;
    std::vector<uint8_t> line_;
    size_t used_ = 0;
    uint32_t row_ = 0;  // counted from the top of the picture
    uint32_t pass_ = 0;
};

/// The GIF variable-length-code LZW decoder, codes of up to 12 bits.
class LzwDecoder {
public:
    void Decode(DataBlocks& in, int minCodeSize, LineWriter& out) {
        const int clear = 1 << minCodeSize;
        const int end = clear + 1;
        int width = minCodeSize + 1;
        int available = clear + 2;
        int previous = -1;
        uint32_t bits = 0;
        int bitCount = 0;
        for (;;) {
            while (bitCount < width) {
                int byte = in.Next();
                if (byte < 0)
                    return;
                bits |= static_cast<uint32_t>(byte) << bitCount;
                bitCount += 8;
            }
            int code = static_cast<int>(bits & ((1u << width) - 1));
            bits >>= width;
            bitCount -= width;

            if (code == clear) {
                width = minCodeSize + 1;
                available = clear + 2;
                previous = -1;
                continue;
            }
            if (code == end)
                return;
            if (previous < 0) {
                // The first code after a clear stands for itself; one not in the table counts as 0.
                if (code >= available)
                    code = 0;
                if (!Emit(code, clear, out))
                    return;
                previous = code;
                continue;
            }
            // A code not yet in the table stands for the previous string plus its own first byte.
            const bool known = code < available;
            const uint8_t first = StringOf(known ? code : previous, clear);
            if (!Flush(out) || (!known && !out.Put(first)))
                return;
            if (available < kMaxCodes) {
                prefix_[available] = static_cast<uint16_t>(previous);
                suffix_[available] = first;
                previous = known ? code : available;
                ++available;
                if (available == (1 << width) && width < kMaxCodeBits)
                    ++width;
            } else {
                previous = code;  // a full table holds every 12-bit code, so the code is known
            }
        }
    }

private:
    /// Puts the string of `code` on the stack (last byte first) and returns its first byte.
    /// Every table entry's prefix is a smaller code, so the walk ends within 4096 steps.
    uint8_t StringOf(int code, int clear) {
        stackSize_ = 0;
        while (code >= clear) {
            stack_[stackSize_++] = suffix_[code];
            code = prefix_[code];
        }
        stack_[stackSize_++] = static_cast<uint8_t>(code);
        return static_cast<uint8_t>(code);
    }

    bool Emit(int code, int clear, LineWriter& out) {
        StringOf(code, clear);
        return Flush(out);
    }

    bool Flush(LineWriter& out) {
        while (stackSize_ > 0) {
            if (!out.Put(stack_[--stackSize_]))
                return false;
        }
        return true;
    }

    uint16_t prefix_[kMaxCodes] = {};
    uint8_t suffix_[kMaxCodes] = {};
    uint8_t stack_[kMaxCodes + 2] = {};
    size_t stackSize_ = 0;
};

class GifReader {
public:
    GifReader(CPixImage& image, ImageStream& stream) : image_(image), stream_(stream), buffer_(kInputBufferSize) {}

    bool Decode();

private:
    bool ReadHeader();
    int CountFrames();
    bool ParseExtension();
    bool ReadImageHeader(ImageDescriptor& descriptor, ColorTable& local);
    bool DecodeFrame(const ImageDescriptor& descriptor, const ColorTable* table, int index, bool requested);
    void DecodeData(const ImageDescriptor& descriptor, uint8_t fill);
    void SkipData();
    void ComposeOnto(CPixImage& kept, const ImageDescriptor& descriptor);
    void PaintOnCanvas(const ImageDescriptor& descriptor);

    CPixImage& image_;
    ImageStream& stream_;
    std::vector<uint8_t> buffer_;
    uint16_t screenWidth_ = 0;
    uint16_t screenHeight_ = 0;
    bool hasGlobal_ = false;
    ColorTable global_;
    GraphicControl control_;      // applies to the next image only
    GraphicControl lastControl_;  // the last one read, for the canvas
    bool canvasMode_ = false;
    CPixImage canvas_{Gif};
    int32_t firstBackgroundIndex_ = -1;
};

bool GifReader::ReadHeader() {
    uint8_t header[kHeaderSize];
    if (!ReadExact(stream_, header, sizeof header) || std::memcmp(header, "GIF8", 4) != 0)
        return false;
    screenWidth_ = le::ReadU16(header + 6);
    screenHeight_ = le::ReadU16(header + 8);
    const uint8_t flags = header[10];
    hasGlobal_ = flags & 0x80;
    return !hasGlobal_ || ReadColorTable(stream_, 2u << (flags & 7), global_);
}

bool GifReader::ParseExtension() {
    const int label = stream_.GetByte();
    if (label < 0)
        return false;
    if (label == kGraphicControlLabel) {
        uint8_t block[4];
        if (stream_.GetByte() != 4 || !ReadExact(stream_, block, sizeof block))
            return false;
        control_.transparent = block[0] & 1;
        control_.disposal = (block[0] >> 2) & 7;
        control_.delay = le::ReadU16(block + 1);
        control_.transparentIndex = block[3];
        lastControl_ = control_;
    } else if (label == kCommentLabel) {
        // The comment text is read past and not kept.
        int length = stream_.GetByte();
        if (length < 0 || !stream_.SeekTo(length, SEEK_CUR))
            return false;
    } else if (label == kApplicationLabel) {
        // An 11-byte identifier, then (for the looping extension) a 3-byte block with the loop
        // count, which the program does not use. Other application data (XMP and the like) is
        // skipped as ordinary sub-blocks rather than ending the walk.
        int size = stream_.GetByte();
        if (size < 0)
            return false;
        if (size == 0)
            return true;
        if (!stream_.SeekTo(size, SEEK_CUR))
            return false;
    }
    return SkipSubBlocks(stream_);
}

bool GifReader::ReadImageHeader(ImageDescriptor& d, ColorTable& local) {
    uint8_t raw[kDescriptorSize];
    if (!ReadExact(stream_, raw, sizeof raw))
        return false;
    d.left = le::ReadU16(raw);
    d.top = le::ReadU16(raw + 2);
    d.width = le::ReadU16(raw + 4);
    d.height = le::ReadU16(raw + 6);
    d.localTable = raw[8] & 0x80;
    d.interlaced = raw[8] & 0x40;
    d.localTableSize = 2u << (raw[8] & 7);
    return !d.localTable || ReadColorTable(stream_, d.localTableSize, local);
}

void GifReader::SkipData() {
    stream_.GetByte();  // minimum code size
    DataBlocks blocks(stream_, buffer_);
    blocks.SkipRest();
    blocks.Restore();
}

int GifReader::CountFrames() {
    int count = 0;
    ColorTable local;
    for (;;) {
        const int introducer = stream_.GetByte();
        if (introducer < 0 || introducer == kTrailer)
            break;
        if (introducer == kExtensionIntroducer) {
            if (!ParseExtension())
                break;
        } else if (introducer == kImageIntroducer) {
            ImageDescriptor descriptor;
            if (!ReadImageHeader(descriptor, local))
                break;
            ++count;
            SkipData();
        }
    }
    return count;
}

void GifReader::DecodeData(const ImageDescriptor& descriptor, uint8_t fill) {
    const int minCodeSize = stream_.GetByte();
    DataBlocks blocks(stream_, buffer_);
    if (minCodeSize >= 2 && minCodeSize <= 9) {
        LineWriter lines(image_, descriptor.interlaced, fill);
        auto lzw = std::make_unique<LzwDecoder>();
        lzw->Decode(blocks, minCodeSize, lines);
        lines.Finish();
    }
    blocks.SkipRest();
    blocks.Restore();
}

/// Moves `from` into `to` but keeps the decode's own information record (frame number and count,
/// delay ...), which TakeOver would replace.
void MoveKeepingInfo(CPixImage& to, CPixImage& from) {
    const ImageInfo info = to.Info();
    to.TakeOver(from);
    uint8_t* pixels = to.Info().pixels;
    const uint32_t effectiveWidth = to.Info().effectiveWidth;
    const int32_t xOffset = to.Info().xOffset;
    const int32_t yOffset = to.Info().yOffset;
    to.Info() = info;
    to.Info().pixels = pixels;
    to.Info().effectiveWidth = effectiveWidth;
    to.Info().xOffset = xOffset;
    to.Info().yOffset = yOffset;
}

void GifReader::ComposeOnto(CPixImage& kept, const ImageDescriptor& d) {
    const uint32_t colors = image_.PaletteCount();
    const bool samePalette = kept.PaletteCount() >= colors &&
                             (colors == 0 || std::memcmp(kept.PaletteEntries(), image_.PaletteEntries(), 4 * colors) == 0);
    const int64_t dx = static_cast<int64_t>(d.left) - kept.Info().xOffset;
    const int64_t dy = static_cast<int64_t>(d.top) - kept.Info().yOffset;
    for (uint32_t y = 0; y < image_.Height(); ++y) {
        const int64_t keptY = static_cast<int64_t>(kept.Height()) - 1 - (dy + y);  // bottom-up
        if (keptY < 0 || keptY >= kept.Height())
            continue;
        const uint32_t frameY = image_.Height() - 1 - y;
        for (uint32_t x = 0; x < image_.Width(); ++x) {
            const uint8_t index = image_.PixelIndex(x, frameY);
            if (control_.transparent && index == control_.transparentIndex)
                continue;
            if (samePalette)
                kept.StoreIndex(dx + x, keptY, index);
            else
                kept.StoreColor(dx + x, keptY, image_.PaletteEntry(index));
        }
    }
}

void GifReader::PaintOnCanvas(const ImageDescriptor& d) {
    for (uint32_t y = 0; y < image_.Height(); ++y) {
        const int64_t canvasY = static_cast<int64_t>(canvas_.Height()) - 1 - (static_cast<int64_t>(d.top) + y);
        if (canvasY < 0)
            break;
        const uint32_t frameY = image_.Height() - 1 - y;
        for (uint32_t x = 0; x < image_.Width(); ++x)
            canvas_.StoreColor(static_cast<int64_t>(d.left) + x, canvasY, image_.PixelColor(x, frameY));
    }
}

bool GifReader::DecodeFrame(const ImageDescriptor& d, const ColorTable* table, int index, bool requested) {
    const bool compose = index > 0 && control_.disposal == 1 && !canvasMode_ && image_.IsValid();
    if (index == 0)
        firstBackgroundIndex_ = control_.transparent ? control_.transparentIndex : -1;
    if (d.width == 0 || d.height == 0) {
        // A frame without pixels leaves the picture as it is; as the requested frame it fails.
        SkipData();
        return !requested || image_.CheckDimensions(d.width, d.height, 8);
    }
    const uint32_t colors = table ? table->count : 0;
    const uint32_t depth = colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
    if (!image_.CheckDimensions(d.width, d.height, depth))
        return false;

    CPixImage kept(Gif);
    if (compose) {
        const ImageInfo info = image_.Info();
        kept.TakeOver(image_);
        image_.Info() = info;
        image_.Info().pixels = nullptr;
        image_.Info().effectiveWidth = 0;
    }
    if (!image_.Allocate(d.width, d.height, depth, Gif))
        return false;
    ImageInfo& info = image_.Info();
    info.backgroundIndex = control_.transparent ? control_.transparentIndex : -1;
    info.frameDelay = control_.delay;
    info.xOffset = d.left;
    info.yOffset = d.top;

    if (table) {
        // With a transparent index, the entries the table does not fill are white, so that an
        // index outside the table still paints as a defined colour.
        uint8_t rgb[256 * 3];
        std::memset(rgb, 255, sizeof rgb);
        std::memcpy(rgb, table->rgb, 3 * static_cast<size_t>(table->count));
        image_.LoadPaletteTriples(rgb, info.backgroundIndex == -1 ? table->count : 256);
    }

    // Rows the data never reaches keep the transparent index (or index 0).
    const uint8_t fill = control_.transparent ? control_.transparentIndex : 0;
    if (depth == 8)
        std::memset(image_.PixelBits(), fill, image_.Header().biSizeImage);
    else if (depth == 4)
        std::memset(image_.PixelBits(), (fill & 0x0F) * 0x11, image_.Header().biSizeImage);
    else
        std::memset(image_.PixelBits(), (fill & 1) ? 0xFF : 0x00, image_.Header().biSizeImage);
    DecodeData(d, fill);
    if (image_.Info().escape)
        return false;

    if (compose) {
        ComposeOnto(kept, d);
        MoveKeepingInfo(image_, kept);
        image_.Info().backgroundIndex = firstBackgroundIndex_;
    }
    if (canvasMode_)
        PaintOnCanvas(d);
    return true;
}

bool GifReader::Decode() {
    if (!ReadHeader())
        return false;
    const int64_t blocksStart = stream_.Position();
    const int count = CountFrames();
    image_.Info().frameCount = count;
    int32_t target = image_.Info().frame;
    if (target < 0 || target >= count || !SeekToOffset(stream_, blocksStart))
        return false;
    control_ = lastControl_ = GraphicControl{};

    bool reached = false;
    int index = 0;
    ColorTable local;
    for (;;) {
        if (image_.Info().escape)
            return false;
        const int introducer = stream_.GetByte();
        if (introducer < 0 || introducer == kTrailer)
            break;
        if (introducer == kExtensionIntroducer) {
            if (!ParseExtension())
                break;
            continue;
        }
        if (introducer != kImageIntroducer)
            continue;  // stray bytes between blocks are skipped

        ImageDescriptor descriptor;
        if (!ReadImageHeader(descriptor, local))
            break;
        if (index == 0) {
            const bool offsetFrame = descriptor.width != screenWidth_ && descriptor.height != screenHeight_;
            if (offsetFrame && !hasGlobal_) {
                // Every frame is painted onto a canvas of the screen size; the picture is the
                // canvas after the last frame.
                canvasMode_ = true;
                target = count - 1;
                if (!canvas_.CheckDimensions(screenWidth_, screenHeight_, 24)) {
                    image_.SetLastError(canvas_.LastError());
                    return false;
                }
                if (!canvas_.Allocate(screenWidth_, screenHeight_, 24, Gif))
                    return false;
                std::memset(canvas_.PixelBits(), 0, canvas_.Header().biSizeImage);
            }
        }
        const ColorTable* table = descriptor.localTable ? &local : hasGlobal_ ? &global_ : nullptr;
        if (!DecodeFrame(descriptor, table, index, index == target))
            return false;
        control_ = GraphicControl{};
        if (index == target) {
            reached = true;
            break;
        }
        ++index;
    }
    if (!reached || !image_.IsValid())
        return false;

    if (canvasMode_) {
        RGBQUAD transparent{};
        if (lastControl_.transparent)
            transparent = image_.PaletteEntry(lastControl_.transparentIndex);
        MoveKeepingInfo(image_, canvas_);
        image_.Info().xOffset = image_.Info().yOffset = 0;
        if (lastControl_.transparent) {
            image_.Info().backgroundColor = transparent;
            image_.Info().backgroundIndex = 0;
        } else {
            image_.Info().backgroundIndex = -1;
        }
    }
    return true;
}

}  // namespace

bool DecodeGif(CPixImage& image, ImageStream& stream) {
    GifReader reader(image, stream);
    return reader.Decode();
}
