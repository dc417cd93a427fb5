#pragma once
// The inside of the compressor registry, shared by the registry and the compressor families: a
// row of the registry's table is everything known of one compressor, and a family's compressor
// reads its encoder, key-frame rate and options from the row it was made for.

#include <memory>
#include <span>

#include "platform/VideoCompressor.h"

/// One option of a compressor as the registry describes it (see ICOPTION).
struct CodecOptionSpec {
    const char* key;
    const char* label;
    const char* const* choices;  // ends with nullptr
    int defaultChoice;
};

struct CodecEntry;
using CompressorFactory = std::unique_ptr<VideoCompressor> (*)(const CodecEntry& entry);

struct CodecEntry {
    DWORD fcc;
    const char* name;         // short name, at most 15 characters
    const char* description;  // what the Select Codec dialog lists
    DWORD flags;              // VIDCF_*
    DWORD defaultQuality;     // 0 when the compressor has no quality
    DWORD defaultKeyRate;     // 0 when every frame stands alone
    const char* encoder;      // libavcodec encoder it needs, or null
    CompressorFactory create;
    std::span<const CodecOptionSpec> options;

    /// The stored choice of the option named key: its index in the option's choices (the
    /// default when nothing usable is stored); 0 when there is no such option.
    int OptionChoice(const char* key) const;
    /// The text of that choice; "" when there is no such option.
    const char* OptionText(const char* key) const;
};

// The compressor families.
std::unique_ptr<VideoCompressor> CreateJpegCompressor(const CodecEntry& entry);
std::unique_ptr<VideoCompressor> CreateRle8Compressor(const CodecEntry& entry);
/// The libavcodec compressor of the row's encoder; null for an encoder it cannot set up.
std::unique_ptr<VideoCompressor> CreateAvCompressor(const CodecEntry& entry);
