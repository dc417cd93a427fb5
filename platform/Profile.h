#pragma once
// Private-profile (INI) files: the three calls the program makes, with the behaviour it relies on.
// Section and key names match ignoring ASCII case; every other line of the file (comments, blank
// lines, unknown keys, lines before the first section) is kept as it is. A write replaces the
// whole file atomically (temporary file in the same folder, fsync, rename) while holding an
// advisory lock on the file, so a crash or a second writer never loses a key.

#include <cstdint>

/// Copies the value of section/key (blanks around it removed, one pair of enclosing quotes
/// removed) into buffer, cut to size - 1 bytes and terminated; defaultValue (or "") when the key
/// or the file is missing. With key == nullptr the buffer receives every key name of the section,
/// with section == nullptr every section name, each terminated, the list ending with an extra NUL.
/// Returns the number of bytes copied, without the terminator.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName);

/// The key's value as an integer: defaultValue when the key is missing; otherwise the decimal
/// number the value begins with (a leading minus honoured, characters after the digits ignored,
/// 0 when it does not begin with a number). Returned as the unsigned 32-bit pattern: a negative
/// value comes back as its two's complement, a number beyond 32 bits as the nearest limit.
uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                               const char* fileName);

/// Stores section/key=value, replacing the first such key or appending it at the end of its
/// section; a missing section is appended to the file and a missing file created. value ==
/// nullptr deletes the key; key == nullptr deletes the whole section. Names or values that would
/// break the line structure (line breaks; '=' or a leading '[' or ';' in a key; ']' in a section)
/// are refused. Returns 1 on success, 0 on failure with errno set.
int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                               const char* fileName);

/// The integer-reading rule on a bare text: the decimal number it begins with (after blanks,
/// an optional minus or plus sign), saturated to the 64-bit range; 0 when there is no number.
int64_t ProfileIntegerValue(const char* text);
