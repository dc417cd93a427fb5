#include "engine/CompressOptions.h"

#include <cstdio>
#include <cstring>

#include "config/Settings.h"
#include "platform/Profile.h"

namespace {

constexpr const char* kSection = "Codec";

// The stored keys in their order. "KeyFrameEvery" appears twice: it is read and written twice,
// and the second time counts.
enum class Field { Type, Handler, KeyFrames, Quality, BytesPerSecond, Flags, Format, FormatSize, Parms, Interleave };

struct StoredKey {
    const char* key;
    Field field;
};

constexpr StoredKey kKeys[] = {
    {"fccType", Field::Type},
    {"fccHandler", Field::Handler},
    {"KeyFrameEvery", Field::KeyFrames},
    {"dwQuality", Field::Quality},
    {"dwBytesPerSecond", Field::BytesPerSecond},
    {"dwFlags", Field::Flags},
    {"lpFormat", Field::Format},
    {"cbFormat", Field::FormatSize},
    {"lpParms", Field::Parms},
    {"dwInterleaveEvery", Field::Interleave},
    {"KeyFrameEvery", Field::KeyFrames},
};

// The value a field is stored with; the two references are stored as the number 0 they always are.
DWORD StoredValue(const AVICOMPRESSOPTIONS& options, Field field) {
    switch (field) {
    case Field::Type: return options.fccType;
    case Field::Handler: return options.fccHandler;
    case Field::KeyFrames: return options.dwKeyFrameEvery;
    case Field::Quality: return options.dwQuality;
    case Field::BytesPerSecond: return options.dwBytesPerSecond;
    case Field::Flags: return options.dwFlags;
    case Field::Format: return 0;
    case Field::FormatSize: return options.cbFormat;
    case Field::Parms: return 0;
    case Field::Interleave: return options.dwInterleaveEvery;
    }
    return 0;
}

void SetField(AVICOMPRESSOPTIONS& options, Field field, DWORD value) {
    switch (field) {
    case Field::Type: options.fccType = value; break;
    case Field::Handler: options.fccHandler = value; break;
    case Field::KeyFrames: options.dwKeyFrameEvery = value; break;
    case Field::Quality: options.dwQuality = value; break;
    case Field::BytesPerSecond: options.dwBytesPerSecond = value; break;
    case Field::Flags: options.dwFlags = value; break;
    case Field::FormatSize: options.cbFormat = value; break;
    case Field::Interleave: options.dwInterleaveEvery = value; break;
    // A number stored for a reference is not an address: the record keeps no format and no
    // state block whatever the file says.
    case Field::Format: options.lpFormat = nullptr; break;
    case Field::Parms: options.lpParms = nullptr; break;
    }
}

}  // namespace

void LoadCompressOptions(AVICOMPRESSOPTIONS& options, char* codecName, size_t nameSize) {
    char path[kIniPathBytes];
    const bool havePath = SettingsFilePath(path, sizeof path, false) != 0;
    // One read of the file for every key (a file emptied of its path reads as empty).
    const ProfileSnapshot file(havePath ? path : "");
    for (const StoredKey& stored : kKeys)
        SetField(options, stored.field, file.Int(kSection, stored.key, 0));
    options.cbParms = 0;
    if (!codecName || nameSize == 0)
        return;
    // The name field is 128 bytes wide wherever it is shown.
    const size_t size = nameSize < 128 ? nameSize : 128;
    file.Text(kSection, "CodecName", "", codecName, static_cast<uint32_t>(size));
}

void SaveCompressOptions(const AVICOMPRESSOPTIONS& options, const char* codecName) {
    for (const StoredKey& stored : kKeys) {
        char text[16];
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(StoredValue(options, stored.field)));
        StoreSettingText(kSection, stored.key, text);
    }
    StoreSettingText(kSection, "CodecName", codecName ? codecName : "");
}

std::string FourCCText(DWORD code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto c = static_cast<char>((code >> shift) & 0xFF);
        // A code from a hand-edited or damaged settings file may hold any bytes: those are never
        // put into a message as they are.
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
            return hex;
        }
        text.push_back(c);
    }
    return text;
}
