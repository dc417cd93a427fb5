#pragma once
// Cutting UTF-8 text to a byte limit without splitting a character: a cut never leaves the lead
// byte of a multi-byte character without all of its continuation bytes.

#include <cstddef>
#include <string_view>

/// The largest length up to `limit` bytes at which `text` can be cut without splitting a
/// character. Text that is not valid UTF-8 is cut at the limit like any other bytes.
inline size_t Utf8CutLength(std::string_view text, size_t limit) {
    if (text.size() <= limit)
        return text.size();
    size_t lead = limit;
    while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80 && limit - lead < 3)
        --lead;
    return lead < limit && static_cast<unsigned char>(text[lead]) >= 0xC0 ? lead : limit;
}
