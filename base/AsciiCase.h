#pragma once
// Comparisons that ignore case the way the program's names do: ASCII letters only, so the bytes
// of UTF-8 names must match exactly.

#include <string_view>

inline unsigned char FoldAsciiCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiCase(static_cast<unsigned char>(a[i])) != FoldAsciiCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}
