#pragma once
// Private-profile (INI) files: the three calls the program makes, with the behaviour it relies on.
// Section and key names match ignoring ASCII case; every other line of the file (comments, blank
// lines, unknown keys, lines before the first section) is kept as it is, line ends included. A
// write replaces the whole file atomically (temporary file in the same folder, fsync, rename)
// while holding an advisory lock (flock) on the file, so neither a crash nor a second writer
// loses a key. Readers take no lock: they see the file either before or after a write.

#include <cstdint>
#include <memory>
#include <string>

/// Copies the value of section/key (blanks around it removed, one pair of enclosing quotes
/// removed) into buffer, cut to size - 1 bytes and terminated; defaultValue (or "") when the key
/// or the file is missing. With key == nullptr the buffer receives every key name of the section,
/// with section == nullptr every section name, each terminated, the list ending with an extra NUL
/// (a list that does not fit is cut and ends with two NULs). Returns the number of bytes copied,
/// without the final terminator.
uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, uint32_t size, const char* fileName);

/// The key's value as an integer: defaultValue when the key is missing; otherwise the decimal
/// number the value begins with (a leading minus honoured, characters after the digits ignored,
/// 0 when it does not begin with a number). Returned as the unsigned 32-bit pattern: a negative
/// value comes back as its two's complement, a number beyond 32 bits as the nearest limit.
uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue,
                               const char* fileName);

/// Stores section/key=value, replacing the first such key or appending it after the last key of
/// its section; a missing section is appended to the file and a missing file created (its folder
/// must exist). value == nullptr deletes the key; key == nullptr deletes the whole section. Names
/// or values that would break the line structure (line breaks anywhere; '=' in a key or a
/// key starting with '[' or ';'; ']' in a section name) are refused with EINVAL. Returns 1 on
/// success, 0 on failure with errno set.
int WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                               const char* fileName);

/// The value of section/key as GetPrivateProfileStringA returns it, uncut; false when the key or
/// the file is missing. Lets a caller tell a missing key from an empty value.
bool ReadProfileValue(const char* section, const char* key, const char* fileName, std::string& value);

/// The integer-reading rule on a bare text: the decimal number it begins with (after blanks and
/// an optional sign), saturated to the 64-bit range; 0 when there is no number.
int64_t ProfileIntegerValue(const char* text);

/// The file read and parsed once, for a caller that reads many keys (a settings load): Value
/// answers as ReadProfileValue would have for the file as it was when the snapshot was taken.
/// A missing file, or one that cannot be read, reads as empty.
class ProfileSnapshot {
public:
    explicit ProfileSnapshot(const char* fileName);
    ~ProfileSnapshot();
    ProfileSnapshot(const ProfileSnapshot&) = delete;
    ProfileSnapshot& operator=(const ProfileSnapshot&) = delete;

    bool Value(const char* section, const char* key, std::string& value) const;
    /// As GetPrivateProfileStringA and GetPrivateProfileIntA answer for one key.
    uint32_t Text(const char* section, const char* key, const char* defaultValue, char* buffer, uint32_t size) const;
    uint32_t Int(const char* section, const char* key, int32_t defaultValue) const;
    /// 0 when the file was read or does not exist; else why it could not be read (errno: ENODEV
    /// for a FIFO or device, EISDIR, EACCES, EFBIG for a file far too large to be settings).
    int Problem() const { return problem_; }

private:
    struct Lines;
    std::unique_ptr<Lines> lines_;
    int problem_ = 0;
};
