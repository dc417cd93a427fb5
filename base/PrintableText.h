#pragma once
// Text that came from outside (file names above all) shown on a terminal, in a log file or in
// a one-line control: control characters would move the cursor, change colours, clear the
// screen or break one log line into two that look like the program's own. They are shown as
// escapes instead: "\n", "\r", "\t", and "\xHH" for the others, byte by byte.

#include <string>
#include <string_view>

/// The text with every C0 control character, DEL and every C1 control character (U+0080 to
/// U+009F, two bytes in UTF-8) written as an escape; all other bytes as they are.
inline std::string PrintableText(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    auto escapeByte = [&out](unsigned char byte) {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            escapeByte(byte);
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            escapeByte(byte);
            escapeByte(static_cast<unsigned char>(text[++i]));
        } else {
            out += text[i];
        }
    }
    return out;
}
