// JPEG decoding on libjpeg (API version 62). libjpeg reports fatal errors through an error
// manager whose exit routine must not return: ours formats the message into the image and jumps
// back to the decoder, which fails; the decompressor is destroyed when the decode ends either way. Input comes through a source
// manager of our own that reads the stream in large blocks and ends a truncated file with an
// inserted end-of-image marker, so a cut-off photo still loads with its missing rows filled in.

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <sys/mman.h>

#include "image/Decoders.h"

namespace {

// libjpeg-turbo's fast Huffman decoder runs only while a few kilobytes of input are buffered
// (512 bytes per block of an MCU); with small refills most MCUs would take the slow path, which
// more than doubles the decode time of a photograph. Large blocks keep it on the fast path.
constexpr size_t kSourceBlockBytes = 256 * 1024;

// A progressive file may hold any number of scans, and each one makes libjpeg revisit the whole
// coefficient buffer; a few hundred bytes of crafted scan headers would otherwise keep it busy
// for minutes. Real encoders write at most a few dozen scans.
constexpr int kMaxProgressiveScans = 500;

struct JpegErrorManager {
    jpeg_error_mgr standard;  // first, so libjpeg's pointer to it is also a pointer to this
    jmp_buf recovery;
    CPixImage* image;
};

struct JpegSource {
    jpeg_source_mgr standard;  // first, as above
    ImageStream* stream;
    JOCTET* buffer;
    bool startOfFile;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    errors->image->SetLastError(message);
    std::longjmp(errors->recovery, 1);
}

void InitSource(j_decompress_ptr cinfo) {
    reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<JpegSource*>(cinfo->src);
    size_t count = source->stream->ReadItems(source->buffer, 1, kSourceBlockBytes);
    if (count == 0) {
        if (source->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // The file ends early: warn and pretend it ended properly, so the rows decoded so far
        // are kept and the rest come out as libjpeg fills them.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->standard.next_input_byte = source->buffer;
    source->standard.bytes_in_buffer = count;
    source->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* source = cinfo->src;
    if (count <= 0)
        return;
    while (count > static_cast<long>(source->bytes_in_buffer)) {
        count -= static_cast<long>(source->bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Converts one four-component (CMYK/YCCK) scanline to blue, green, red: the first three values
// are scaled by the fourth, as libjpeg delivers them (Adobe files store the inks inverted).
void ConvertCmykRow(const JSAMPLE* source, uint8_t* row, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, source += 4, row += 3) {
        unsigned k = source[3];
        row[0] = static_cast<uint8_t>(source[2] * k / 255);
        row[1] = static_cast<uint8_t>(source[1] * k / 255);
        row[2] = static_cast<uint8_t>(source[0] * k / 255);
    }
}

struct JpegProgress {
    jpeg_progress_mgr standard;
    CPixImage* image;
    jmp_buf* recovery;
};

void MonitorProgress(j_common_ptr cinfo) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->progressive_mode && dinfo->input_scan_number > kMaxProgressiveScans) {
        auto* progress = reinterpret_cast<JpegProgress*>(cinfo->progress);
        progress->image->SetLastErrorFormatted("Progressive JPEG image has more than %d scans",
                                               kMaxProgressiveScans);
        std::longjmp(*progress->recovery, 1);
    }
}

// A large picture is written once from start to end; asking for huge pages for its block
// saves the kernel most of the page faults of a fresh allocation (a 12-megapixel picture would
// otherwise take some 9000 of them). Only whole 2 MiB pages inside the block are named.
void AdviseHugePages(void* block, size_t bytes) {
    constexpr uintptr_t kHugePage = 2u << 20;
    auto start = (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
    auto end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kHugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// Everything libjpeg touches lives in this record, outside the frame that calls setjmp, so that
// nothing with a destructor is skipped by the jump back. The record destroys the decompressor;
// that does nothing to one that was never created, whose fields are all zero.
struct JpegDecode {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    JpegProgress progress;
    JpegSource* source;

    ~JpegDecode() { jpeg_destroy_decompress(&cinfo); }
};

/// Our source manager over the stream, allocated in libjpeg's permanent pool.
void InstallSource(JpegDecode& d, ImageStream& stream) {
    auto* common = reinterpret_cast<j_common_ptr>(&d.cinfo);
    d.source = static_cast<JpegSource*>((*d.cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(JpegSource)));
    d.source->buffer = static_cast<JOCTET*>((*d.cinfo.mem->alloc_small)(common, JPOOL_PERMANENT, kSourceBlockBytes));
    d.source->stream = &stream;
    d.source->startOfFile = true;
    d.source->standard.init_source = InitSource;
    d.source->standard.fill_input_buffer = FillInputBuffer;
    d.source->standard.skip_input_data = SkipInputData;
    d.source->standard.resync_to_restart = jpeg_resync_to_restart;
    d.source->standard.term_source = TermSource;
    d.source->standard.bytes_in_buffer = 0;
    d.source->standard.next_input_byte = nullptr;
    d.cinfo.src = &d.source->standard;
}

/// The resolution, in dots per inch; a density per centimetre is converted.
void SetResolution(CPixImage& image, const jpeg_decompress_struct& cinfo) {
    int32_t dpiX = cinfo.X_density;
    int32_t dpiY = cinfo.Y_density;
    if (cinfo.density_unit == 2) {
        dpiX = dpiX * 254 / 100;
        dpiY = dpiY * 254 / 100;
    }
    image.SetHorizontalDpi(dpiX);
    image.SetVerticalDpi(dpiY);
}

bool AllocatePicture(CPixImage& image, const jpeg_decompress_struct& cinfo) {
    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    if (!image.Allocate(width, height, 8 * static_cast<uint32_t>(cinfo.output_components), Jpeg))
        return FailNoMemory(image, width, height);
    AdviseHugePages(image.Block(), image.DibSize());
    SetResolution(image, cinfo);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        image.MakeGrayPalette();
        image.Header().biClrUsed = 256;
    } else {
        image.Header().biClrUsed = 0;
    }
    return true;
}

/// The scanlines, bottom row of the picture last. Gray and colour rows fit their destination row
/// exactly and are decoded straight into it; other layouts go through one scanline of libjpeg's
/// image pool. Escape ends the decode through the error jump.
void ReadScanlines(JpegDecode& d, CPixImage& image, bool color) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    const uint32_t outComponents = static_cast<uint32_t>(cinfo.output_components);
    const uint32_t effectiveWidth = image.EffectiveWidth();
    const size_t scanlineBytes = static_cast<size_t>(width) * outComponents;
    const bool direct = outComponents == 1 || (outComponents == 3 && color);
    JSAMPROW scanline = nullptr;
    if (!direct)
        scanline = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                              static_cast<JDIMENSION>(scanlineBytes), 1)[0];
    while (cinfo.output_scanline < height) {
        if (image.Info().escape)
            std::longjmp(d.errors.recovery, 1);
        uint8_t* row = image.Row(height - 1 - cinfo.output_scanline);
        if (direct) {
            JSAMPROW target = row;
            jpeg_read_scanlines(&cinfo, &target, 1);
            std::memset(row + scanlineBytes, 0, effectiveWidth - scanlineBytes);
            continue;
        }
        jpeg_read_scanlines(&cinfo, &scanline, 1);
        if (outComponents == 4) {
            ConvertCmykRow(scanline, row, width);
            std::memset(row + 3 * static_cast<size_t>(width), 0, effectiveWidth - 3 * static_cast<size_t>(width));
        } else {
            // Two or five and more components have no picture layout of their own: their bytes
            // are kept as they come, and any rest of the row is cleared rather than left unset.
            size_t count = scanlineBytes < effectiveWidth ? scanlineBytes : effectiveWidth;
            std::memcpy(row, scanline, count);
            std::memset(row + count, 0, effectiveWidth - count);
        }
    }
}

// libjpeg's errors (and escape) jump back here from any of the steps.
bool Decode(JpegDecode& d, CPixImage& image, ImageStream& stream) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    if (setjmp(d.errors.recovery))
        return false;
    jpeg_create_decompress(&cinfo);
    // The pixel block is limited to kMaxDibBytes; libjpeg's own buffers (whole-image coefficient
    // arrays of progressive files) get the same bound, beyond which it fails instead of growing.
    cinfo.mem->max_memory_to_use = static_cast<long>(CPixImage::kMaxDibBytes);
    cinfo.progress = &d.progress.standard;
    InstallSource(d, stream);
    jpeg_read_header(&cinfo, TRUE);

    // The header alone can claim up to 65500 x 65500 pixels; refuse what the pixel block cannot
    // hold before libjpeg sizes any buffer from it.
    uint32_t components = static_cast<uint32_t>(cinfo.num_components);
    if (!image.CheckDimensions(cinfo.image_width, cinfo.image_height, 8 * (components == 1 ? 1 : 3)))
        return false;

    // libjpeg-turbo can deliver blue, green, red directly; the bytes are the same as those of
    // its RGB output with the red and blue of every pixel exchanged afterwards.
    const bool color = cinfo.out_color_space == JCS_RGB;
    if (color)
        cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    if (!AllocatePicture(image, cinfo))
        return false;
    ReadScanlines(d, image, color);
    jpeg_finish_decompress(&cinfo);
    return true;
}

}  // namespace

bool DecodeJpeg(CPixImage& image, ImageStream& stream) {
    JpegDecode d{};
    d.cinfo.err = jpeg_std_error(&d.errors.standard);
    d.errors.standard.error_exit = ErrorExit;
    d.errors.image = &image;
    d.progress.standard.progress_monitor = MonitorProgress;
    d.progress.image = &image;
    d.progress.recovery = &d.errors.recovery;
    return Decode(d, image, stream);
}
