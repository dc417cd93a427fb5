#pragma once
// The settings record: the in-memory form of the program's INI file, one field per key, named
// exactly after the key. Every consumer owns its own record and reloads it with Load when it
// needs current values; changes travel only through the file, written key by key with
// WriteSettingInt / WriteSettingText. Texts are UTF-8 in fixed fields that are never overflowed.

#include <cstddef>
#include <span>
#include <string>

#include "platform/WinTypes.h"

struct Settings {
    /// A record before Load: every field at its initial value (texts empty).
    Settings();

    /// ReadFile, then the command-line overlay (when one is installed). Consumers call this.
    void Load();
    /// Reads every key of the INI file into the record; missing keys take their defaults.
    void ReadFile();

    /// Installs the command-line overlay that Load runs after ReadFile (nullptr for none). The
    /// shell installs its ApplyCommandLine once at start-up, before anything loads settings.
    static void SetCommandLineOverlay(void (*overlay)(Settings&));

    // Field = key; the section is named where it is not "Config".
    int AutoSelect;
    int AutoStop;          // "Detect"
    int AutoProcess;
    int Flip;
    int Mirror;
    int AVIRotate;
    int AVIRotateAngle;
    int AVIScale;
    int AVIXScale;
    int AVIXYcale;         // the key is spelled this way
    int UseBrightness;
    int Brightness;
    int Contrast;
    int UseFrameTime;
    int AVIFrameTime;
    int AVIStyle;
    int AutoPopulate;
    int DisplayFileNames;  // "Detect"
    int DisplayToolTips;
    int WriteCopyright;
    int ScaleType;         // "Detect"
    int MotionDeviation;   // "Detect"
    int Overwrite;         // "Detect"
    int JPGSortOrder;
    int FramesPerSec;
    int RememberCodec;
    char CodecName[kMaxPathChars];  // "Codec"; written by the compression options
    char Copyright[kMaxPathChars];
    char JPGDir[kMaxPathChars];
    char OutputPath[kMaxPathChars];
    char JPGSuffix[256];
    char VideoFile[kMaxPathChars];

    // No INI key: set by the command-line overlay.
    int FromCommandLine;
    char LogFile[kMaxPathChars];

    // No INI key: how the last ReadFile went.
    /// 0, or why the INI file exists but could not be read (errno; ENODEV: not a regular file).
    /// The record then holds the defaults.
    int FileProblem;
    /// 1 when the stored OutputPath is longer than its field: the field holds a cut path that
    /// names another folder, and must not be used.
    int OutputPathTooLong;
};

/// One whole-number key of the INI file: where it is stored, the field it fills, the value a
/// missing key reads as and the field's value before any load.
struct IntSetting {
    const char* section;
    const char* key;
    int Settings::*field;
    int fallback;
    int initial;
};

/// The key of a field; nullptr for a field that no key fills.
const IntSetting* FindIntSetting(int Settings::*field);

/// A text field of the record, for tables of fields: TextFieldOf<&Settings::JPGDir>.
template <auto Field>
std::span<char> TextFieldOf(Settings& settings) {
    return settings.*Field;
}

/// Room for the INI file's path, which is not one of the fixed 260-byte fields.
inline constexpr size_t kIniPathBytes = 4096;

/// Formats value with "%d" and stores it with WriteSettingText.
void WriteSettingInt(const char* section, const char* key, int value);
/// Stores section/key=text in the INI file; does nothing while the process has arguments. A
/// failed write is not reported.
void WriteSettingText(const char* section, const char* key, const char* text);

/// Stores section/key=text in the INI file even while the process has arguments (the compression
/// options are kept that way). Failures are not reported.
void StoreSettingText(const char* section, const char* key, const char* text);

/// True when the process command line holds the program path and at least one argument. Asked
/// afresh at every call, so blanking the command line re-enables writes.
bool HasArguments();

/// Appends '/' when the text is longer than one character, does not end in '/' and the field
/// (size bytes) has room for it.
void AddTrailingSeparator(char* text, size_t size);
/// Removes one final '/' when the text is longer than one character and ends in '/'.
void RemoveTrailingSeparator(char* text);

/// Composes the program file's folder + name + extension into destination (size bytes): a null
/// or empty name means the program file's own base name; a dot is put before an extension that
/// has none. On failure the destination is emptied, the result is 0 and, when reportFailure is
/// set, the box "Error: Fatal using GetModuleFileName <system text>" is shown.
int ProgramFilePath(char* destination, size_t size, const char* name, const char* extension,
                    bool reportFailure);

/// The INI file's path: the file named by PIXREEL_INI when that variable is set and not empty;
/// else, for a program that is not installed (RunsInstalled), <program folder>/<program base
/// name>.ini when that folder is writable or already holds the file; else
/// $XDG_CONFIG_HOME/pixreel/pixreel.ini (~/.config when the variable is unset), whose folders
/// the first write creates. Failures as for ProgramFilePath.
int SettingsFilePath(char* destination, size_t size, bool reportFailure);
