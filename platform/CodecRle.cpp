// "MRLE": the run-length coding of 8-bit DIBs (BI_RLE8). Paletted input only; 1 and 4-bit
// pictures are widened to one index a byte. Every frame is coded whole.

#include <cstring>

#include "base/DibRows.h"
#include "platform/CodecRegistry.h"

namespace {

constexpr DWORD BI_RLE8 = 1;

// Longest run that starts at index i.
uint32_t RunAt(const uint8_t* row, uint32_t i, uint32_t width) {
    uint32_t n = 1;
    while (i + n < width && n < 255 && row[i + n] == row[i])
        ++n;
    return n;
}

void EncodeRow(const uint8_t* row, uint32_t width, std::vector<uint8_t>& out) {
    uint32_t i = 0;
    while (i < width) {
        uint32_t run = RunAt(row, i, width);
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        // Literal stretch up to the next run of three or more.
        uint32_t end = i;
        while (end < width && end - i < 255 && RunAt(row, end, width) < 3)
            ++end;
        uint32_t count = end - i;
        if (count < 3) {
            // Absolute mode needs at least three pixels; one or two go as short runs.
            for (uint32_t k = i; k < end; ++k) {
                out.push_back(1);
                out.push_back(row[k]);
            }
        } else {
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(count));
            out.insert(out.end(), row + i, row + end);
            if (count & 1)
                out.push_back(0);  // absolute runs end on a 16-bit boundary
        }
        i = end;
    }
}

class Rle8Compressor final : public VideoCompressor {
public:
    LRESULT Begin(const DibLayout& input, const CompressSettings&) override {
        if (input.bitCount > 8)
            return ICERR_BADFORMAT;
        input_ = input;
        row_.resize(input.width);
        uint32_t entries = static_cast<uint32_t>(input.palette.size());
        SetOutputFormat(input, BI_RLE8, 8, static_cast<uint32_t>(dib::RowBytes(input.width, 8) * input.height),
                        reinterpret_cast<const uint8_t*>(input.palette.data()), entries * sizeof(RGBQUAD), entries);
        return ICERR_OK;
    }

    LRESULT Compress(const uint8_t* bits, bool, std::vector<uint8_t>& out, bool& key) override {
        out.clear();
        // Rows go bottom-up, as in the DIB.
        for (uint32_t y = input_.height; y-- > 0;) {
            DibRowToIndexes(input_, bits, y, row_.data());
            EncodeRow(row_.data(), input_.width, out);
            if (y != 0) {
                out.push_back(0);  // end of line
                out.push_back(0);
            }
        }
        out.push_back(0);  // end of picture
        out.push_back(1);
        key = true;
        return ICERR_OK;
    }

    // Every frame is coded whole.
    std::unique_ptr<VideoCompressor> Twin() const override { return std::make_unique<Rle8Compressor>(*this); }

private:
    DibLayout input_;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<VideoCompressor> CreateRle8Compressor(const CodecEntry&) { return std::make_unique<Rle8Compressor>(); }
