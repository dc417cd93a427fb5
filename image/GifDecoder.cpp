// GIF decoder: picks one frame of a possibly animated file, reports the number of frames, carries
// the transparent index into backgroundIndex, composes frames that leave the previous picture in
// place, and paints offset frames of a file without a global colour table onto a canvas of the
// logical screen size. Failures carry no message, except for pictures too large to hold.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/DibRows.h"
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

// Every block starts with an introducer byte; an extension's second byte is its label.
enum BlockIntroducer : int {
    kExtensionIntroducer = 0x21,
    kImageIntroducer = 0x2C,
    kTrailer = 0x3B,
};
enum ExtensionLabel : int {
    kGraphicControlLabel = 0xF9,
    kCommentLabel = 0xFE,
};

constexpr size_t kInputBufferSize = 16384;
// A code of w bits stands for fewer than 2^w pixels and a byte holds 8/w codes, so LZW data
// yields fewer than 2731 pixels per byte (at 12-bit codes). Frames and screens larger than the
// rest of the file could ever fill are refused before their pixels are cleared.
constexpr uint64_t kMaxPixelsPerDataByte = 4096;
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

/// Where a frame's decoded lines go: `row` counts from the top of the frame, `line` holds the
/// whole frame width, of which the first `decoded` indices came from the data (the rest hold the
/// fill index of a partly decoded last line).
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void Write(uint32_t row, const std::vector<uint8_t>& line, size_t decoded) = 0;
};

/// Receives decoded palette indices and hands them on line by line, from the top of the frame
/// down, in the four-pass order for interlaced images. Lines beyond the frame are dropped.
class LineWriter {
public:
    LineWriter(uint32_t width, uint32_t height, bool interlaced, uint8_t fill, LineSink& sink)
        : height_(height), interlaced_(interlaced), fill_(fill), line_(width, fill), sink_(sink) {}

    /// False once every line of the frame has been written.
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

    bool Done() const { return row_ >= height_; }

private:
    void WriteLine() {
        sink_.Write(row_, line_, used_);
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
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

    uint32_t height_;
    bool interlaced_;
    uint8_t fill_;
    std::vector<uint8_t> line_;
    LineSink& sink_;
    size_t used_ = 0;
    uint32_t row_ = 0;
    uint32_t pass_ = 0;
};

/// A frame's palette as its own picture holds it: 2, 16 or 256 entries by the table size, the
/// table's colours first; with a transparent index the entries past the table are white, so that
/// an index outside the table still paints as a defined colour.
struct FramePalette {
    RGBQUAD colors[256] = {};
    uint32_t count = 0;  // entries of the frame's depth
    uint8_t mask = 0;    // the index bits a pixel of that depth keeps

    /// The colour of a stored index; zero beyond the palette, as CPixImage::PaletteEntry gives.
    RGBQUAD At(uint32_t index) const { return index < count ? colors[index] : RGBQUAD{}; }
};

uint32_t DepthFor(const ColorTable* table) {
    const uint32_t colors = table ? table->count : 0;
    return colors <= 2 ? 1 : colors <= 16 ? 4 : 8;
}

FramePalette BuildPalette(const ColorTable* table, bool transparent) {
    FramePalette palette;
    const uint32_t depth = DepthFor(table);
    palette.count = 1u << depth;
    palette.mask = static_cast<uint8_t>(palette.count - 1);
    if (!table)
        return palette;
    const uint32_t loaded = transparent ? 256 : table->count;
    for (uint32_t i = 0; i < palette.count && i < loaded; ++i) {
        if (i < table->count)
            palette.colors[i] = RGBQUAD{table->rgb[3 * i + 2], table->rgb[3 * i + 1], table->rgb[3 * i], 0};
        else
            palette.colors[i] = RGBQUAD{255, 255, 255, 0};
    }
    return palette;
}

/// Packs whole lines into the rows of the frame's own picture.
class ImageSink final : public LineSink {
public:
    explicit ImageSink(CPixImage& image) : image_(image) {}

    void Write(uint32_t row, const std::vector<uint8_t>& line, size_t) override {
        uint8_t* target = image_.Row(image_.Height() - 1 - row);
        const uint32_t depth = image_.BitsPerPixel();
        if (depth == 8) {
            std::memcpy(target, line.data(), line.size());
            return;
        }
        std::memset(target, 0, dib::UsedRowBytes(line.size(), depth));
        for (size_t x = 0; x < line.size(); ++x)
            dib::PutIndex(target, static_cast<uint32_t>(x), depth, line[x]);
    }

private:
    CPixImage& image_;
};

/// Draws decoded pixels onto the picture kept from the frame before, at the frame's position,
/// leaving out the frame's transparent index. Pixels the data never reached are not drawn.
class ComposeSink final : public LineSink {
public:
    ComposeSink(CPixImage& kept, const FramePalette& palette, int64_t left, int64_t top, int transparentIndex)
        : kept_(kept), mask_(palette.mask), left_(left), top_(top), transparent_(transparentIndex) {
        // Indices carry over as they are when the kept picture has the same colours; otherwise
        // each maps to the kept palette's nearest colour.
        const bool same = kept.PaletteCount() >= palette.count &&
                          std::memcmp(kept.PaletteEntries(), palette.colors, 4 * palette.count) == 0;
        for (uint32_t i = 0; i < 256; ++i)
            map_[i] = same ? static_cast<uint8_t>(i) : kept.NearestPaletteIndex(palette.At(i));
    }

    void Write(uint32_t row, const std::vector<uint8_t>& line, size_t decoded) override {
        const int64_t y = static_cast<int64_t>(kept_.Height()) - 1 - (top_ + row);
        if (y < 0)
            return;
        for (size_t x = 0; x < decoded; ++x) {
            const uint8_t index = line[x] & mask_;
            if (index != transparent_)
                kept_.StoreIndex(left_ + static_cast<int64_t>(x), y, map_[index]);
        }
    }

private:
    CPixImage& kept_;
    uint8_t mask_;
    int64_t left_;
    int64_t top_;
    int transparent_;  // -1 for none
    uint8_t map_[256];
};

/// Paints decoded pixels as colours onto the 24-bit canvas of the screen size.
class CanvasSink final : public LineSink {
public:
    CanvasSink(CPixImage& canvas, const FramePalette& palette, int64_t left, int64_t top)
        : canvas_(canvas), palette_(palette), left_(left), top_(top) {}

    void Write(uint32_t row, const std::vector<uint8_t>& line, size_t decoded) override {
        const int64_t y = static_cast<int64_t>(canvas_.Height()) - 1 - (top_ + row);
        if (y < 0)
            return;
        for (size_t x = 0; x < decoded; ++x)
            canvas_.StoreColor(left_ + static_cast<int64_t>(x), y, palette_.At(line[x] & palette_.mask));
    }

private:
    CPixImage& canvas_;
    const FramePalette& palette_;
    int64_t left_;
    int64_t top_;
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
    bool DecodeUpTo(int32_t target, int count);
    bool NextImage(ImageDescriptor& descriptor, ColorTable& local);
    bool ParseExtension();
    bool ReadImageHeader(ImageDescriptor& descriptor, ColorTable& local);
    bool StartCanvas();
    void FinishCanvas();
    bool DecodeFrame(const ImageDescriptor& descriptor, const ColorTable* table, int index, bool requested);
    void DecodeData(const ImageDescriptor& descriptor, uint8_t fill, LineSink& sink);
    void SkipData();

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
    FramePalette lastPalette_;    // the last frame's, for the canvas
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
    }
    // What remains is sub-blocks: those of the extensions above, and the whole of any other
    // extension. An application extension (an 11-byte identifier, then for the looping extension
    // the loop count, which the program does not use; XMP data and the like) is skipped that way
    // rather than ending the walk.
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

/// Walks the blocks up to the next image, taking in the extensions on the way, and reads its
/// descriptor and local colour table. False at the trailer, at the end of the data and at a block
/// that cannot be read. Stray bytes between blocks are skipped.
bool GifReader::NextImage(ImageDescriptor& descriptor, ColorTable& local) {
    for (;;) {
        const int introducer = stream_.GetByte();
        if (introducer < 0 || introducer == kTrailer)
            return false;
        if (introducer == kExtensionIntroducer && !ParseExtension())
            return false;
        if (introducer == kImageIntroducer)
            return ReadImageHeader(descriptor, local);
    }
}

int GifReader::CountFrames() {
    int count = 0;
    ImageDescriptor descriptor;
    ColorTable local;
    while (NextImage(descriptor, local)) {
        ++count;
        SkipData();
    }
    return count;
}

void GifReader::DecodeData(const ImageDescriptor& descriptor, uint8_t fill, LineSink& sink) {
    const int minCodeSize = stream_.GetByte();
    DataBlocks blocks(stream_, buffer_);
    if (minCodeSize >= 2 && minCodeSize <= 9) {
        LineWriter lines(descriptor.width, descriptor.height, descriptor.interlaced, fill, sink);
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

bool GifReader::DecodeFrame(const ImageDescriptor& d, const ColorTable* table, int index, bool requested) {
    if (index == 0)
        firstBackgroundIndex_ = control_.transparent ? control_.transparentIndex : -1;
    if (d.width == 0 || d.height == 0) {
        // A frame without pixels leaves the picture as it is; as the requested frame it fails.
        SkipData();
        return canvasMode_ || !requested || image_.CheckDimensions(d.width, d.height, 8);
    }
    const FramePalette palette = BuildPalette(table, control_.transparent);
    const uint8_t fill = control_.transparent ? control_.transparentIndex : 0;

    if (canvasMode_) {
        CanvasSink sink(canvas_, palette, d.left, d.top);
        DecodeData(d, fill, sink);
        lastPalette_ = palette;
        return !image_.Info().escape;
    }
    if (index > 0 && control_.disposal == 1 && image_.IsValid()) {
        // Leave in place: the frame is drawn onto the picture so far, which keeps the first
        // frame's transparent index.
        ComposeSink sink(image_, palette, static_cast<int64_t>(d.left) - image_.Info().xOffset,
                         static_cast<int64_t>(d.top) - image_.Info().yOffset,
                         control_.transparent ? control_.transparentIndex : -1);
        DecodeData(d, fill, sink);
        image_.Info().frameDelay = control_.delay;
        image_.Info().backgroundIndex = firstBackgroundIndex_;
        return !image_.Info().escape;
    }

    const uint32_t depth = DepthFor(table);
    if (!DataCanFill(stream_, uint64_t{d.width} * d.height, kMaxPixelsPerDataByte) ||
        !image_.CheckDimensions(d.width, d.height, depth) || !image_.Allocate(d.width, d.height, depth, Gif))
        return false;
    ImageInfo& info = image_.Info();
    info.backgroundIndex = control_.transparent ? control_.transparentIndex : -1;
    info.frameDelay = control_.delay;
    info.xOffset = d.left;
    info.yOffset = d.top;
    image_.LoadPaletteQuads(palette.colors, palette.count);

    // Rows the data never reaches keep the transparent index (or index 0) in every pixel.
    uint8_t fillByte = 0;
    for (uint32_t x = 0; x < 8 / depth; ++x)
        dib::PutIndex(&fillByte, x, depth, fill);
    std::memset(image_.PixelBits(), fillByte, image_.Header().biSizeImage);
    ImageSink sink(image_);
    DecodeData(d, fill, sink);
    return !image_.Info().escape;
}

/// Every frame of a file whose first frame is offset (smaller than the screen both ways) and that
/// has no global colour table is painted onto a canvas of the screen size; the picture is the
/// canvas after the last frame.
bool GifReader::StartCanvas() {
    canvasMode_ = true;
    if (!canvas_.CheckDimensions(screenWidth_, screenHeight_, 24)) {
        image_.SetLastError(canvas_.LastError());
        return false;
    }
    if (!DataCanFill(stream_, uint64_t{screenWidth_} * screenHeight_, kMaxPixelsPerDataByte) ||
        !canvas_.Allocate(screenWidth_, screenHeight_, 24, Gif))
        return false;
    std::memset(canvas_.PixelBits(), 0, canvas_.Header().biSizeImage);
    return true;
}

/// The canvas becomes the picture; the last transparent colour is its background colour.
void GifReader::FinishCanvas() {
    RGBQUAD transparent{};
    if (lastControl_.transparent)
        transparent = lastPalette_.At(lastControl_.transparentIndex);
    MoveKeepingInfo(image_, canvas_);
    image_.Info().xOffset = image_.Info().yOffset = 0;
    if (lastControl_.transparent) {
        image_.Info().backgroundColor = transparent;
        image_.Info().backgroundIndex = 0;
    } else {
        image_.Info().backgroundIndex = -1;
    }
}

/// Decodes the frames up to the requested one (in canvas mode, all of them); false when the
/// frame is not reached or a frame fails.
bool GifReader::DecodeUpTo(int32_t target, int count) {
    ImageDescriptor descriptor;
    ColorTable local;
    for (int index = 0;; ++index) {
        if (image_.Info().escape || !NextImage(descriptor, local))
            return false;
        if (index == 0 && !hasGlobal_ && descriptor.width != screenWidth_ && descriptor.height != screenHeight_) {
            target = count - 1;
            if (!StartCanvas())
                return false;
        }
        const ColorTable* table = descriptor.localTable ? &local : hasGlobal_ ? &global_ : nullptr;
        if (!DecodeFrame(descriptor, table, index, index == target))
            return false;
        control_ = GraphicControl{};
        if (index == target)
            return true;
    }
}

bool GifReader::Decode() {
    if (!ReadHeader())
        return false;
    const int64_t blocksStart = stream_.Position();
    const int count = CountFrames();
    image_.Info().frameCount = count;
    const int32_t target = image_.Info().frame;
    if (target < 0 || target >= count || !SeekToOffset(stream_, blocksStart))
        return false;
    control_ = lastControl_ = GraphicControl{};
    if (!DecodeUpTo(target, count))
        return false;
    if (canvasMode_)
        FinishCanvas();
    return image_.IsValid();
}

}  // namespace

bool DecodeGif(CPixImage& image, ImageStream& stream) {
    GifReader reader(image, stream);
    return reader.Decode();
}
