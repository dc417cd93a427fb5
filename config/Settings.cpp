#include "config/Settings.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Utf8.h"
#include "platform/DataFiles.h"
#include "platform/ProcessCommandLine.h"
#include "platform/Profile.h"
#include "platform/SystemError.h"

namespace {

void (*g_commandLineOverlay)(Settings&) = nullptr;

struct TextKey {
    const char* section;
    const char* key;
    std::span<char> (*field)(Settings&);
    const char* fallback;
};

// section, key, field, default when the key is missing, initial value before any load
constexpr IntSetting kIntKeys[] = {
    {"Config", "AutoSelect", &Settings::AutoSelect, 1, 0},
    {"Detect", "AutoStop", &Settings::AutoStop, 0, 0},
    {"Config", "AutoProcess", &Settings::AutoProcess, 0, 0},
    {"Config", "Flip", &Settings::Flip, 0, 0},
    {"Config", "Mirror", &Settings::Mirror, 0, 0},
    {"Config", "AVIRotate", &Settings::AVIRotate, 0, 0},
    {"Config", "AVIRotateAngle", &Settings::AVIRotateAngle, 0, 0},
    {"Config", "AVIScale", &Settings::AVIScale, 0, 0},
    {"Config", "AVIXScale", &Settings::AVIXScale, 320, 320},
    {"Config", "AVIXYcale", &Settings::AVIXYcale, 240, 240},
    {"Config", "UseBrightness", &Settings::UseBrightness, 0, 0},
    {"Config", "Brightness", &Settings::Brightness, 0, 0},
    {"Config", "Contrast", &Settings::Contrast, 100, 0},
    {"Config", "UseFrameTime", &Settings::UseFrameTime, 0, 0},
    {"Config", "AVIFrameTime", &Settings::AVIFrameTime, 0, 0},
    {"Config", "AVIStyle", &Settings::AVIStyle, 1, 0},
    {"Config", "AutoPopulate", &Settings::AutoPopulate, 1, 1},
    {"Detect", "DisplayFileNames", &Settings::DisplayFileNames, 1, 1},
    {"Config", "DisplayToolTips", &Settings::DisplayToolTips, 1, 1},
    {"Config", "WriteCopyright", &Settings::WriteCopyright, 1, 1},
    {"Detect", "ScaleType", &Settings::ScaleType, 1, 0},
    {"Detect", "MotionDeviation", &Settings::MotionDeviation, 0, 0},
    {"Detect", "Overwrite", &Settings::Overwrite, 1, 1},
    {"Config", "JPGSortOrder", &Settings::JPGSortOrder, 0, 0},
    {"Config", "FramesPerSec", &Settings::FramesPerSec, 5, 0},
    {"Config", "RememberCodec", &Settings::RememberCodec, 0, 0},
};

constexpr TextKey kTextKeys[] = {
    {"Codec", "CodecName", &TextFieldOf<&Settings::CodecName>, ""},
    {"Config", "Copyright", &TextFieldOf<&Settings::Copyright>, "Tavrin Ltd"},
    {"Config", "JPGDir", &TextFieldOf<&Settings::JPGDir>, ""},
    {"Config", "OutputPath", &TextFieldOf<&Settings::OutputPath>, ""},
    {"Config", "JPGSuffix", &TextFieldOf<&Settings::JPGSuffix>, "jpg"},
    {"Config", "VideoFile", &TextFieldOf<&Settings::VideoFile>, "TavrinVideoFile"},
};

// Integers are 32-bit; a number beyond that range in a hand-edited file reads as the nearest limit.
int ReadInt(const ProfileSnapshot& file, const IntSetting& key) {
    std::string value;
    if (!file.Value(key.section, key.key, value))
        return key.fallback;
    const int64_t number = ProfileIntegerValue(value.c_str());
    if (number < INT32_MIN)
        return INT32_MIN;
    if (number > INT32_MAX)
        return INT32_MAX;
    return static_cast<int>(number);
}

// Reads a text key into its field as GetPrivateProfileStringA does. A value cut to its field
// may end inside a UTF-8 character; the partial character is dropped. Only cut values are
// touched, so one in another 8-bit encoding stays as it is. False when the value was cut.
bool ReadText(const ProfileSnapshot& file, const TextKey& key, std::span<char> field) {
    const auto size = static_cast<uint32_t>(field.size());
    const uint32_t length = file.Text(key.section, key.key, key.fallback, field.data(), size);
    std::string whole;
    if (length + 1 < field.size() || !file.Value(key.section, key.key, whole) || whole.size() <= length)
        return true;
    field[Utf8CutLength(whole, length)] = '\0';
    return false;
}

bool CopyFits(char* destination, size_t size, const std::string& text) {
    if (text.size() + 1 > size) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(destination, text.c_str(), text.size() + 1);
    return true;
}

int FailPath(char* destination, size_t size, bool reportFailure) {
    const int code = errno;
    if (destination && size)
        destination[0] = '\0';
    if (reportFailure)
        FatalBox("Error: Fatal using GetModuleFileName", code);
    errno = code;
    return 0;
}

// The running program's file; the kernel marks a file replaced since the start as "(deleted)".
bool ProgramFile(std::string& path) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return false;
    path.assign(buffer, static_cast<size_t>(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Creates every missing folder of the path's parent, private to the user as is usual for
// configuration folders.
void MakeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return;
    }
}

std::string XdgSettingsFile() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            if (const passwd* entry = ::getpwuid(::getuid()))
                home = entry->pw_dir;
        }
        if (!home || !*home)
            return {};
        base = std::string(home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/pixreel/pixreel.ini";
}

// Stores one key, whatever the command line says; used by the settings and the compression options.
void StoreKey(const char* section, const char* key, const char* text, bool reportFailure) {
    char path[kIniPathBytes];
    if (!SettingsFilePath(path, sizeof path, reportFailure))
        return;
    MakeParentFolders(path);
    WritePrivateProfileStringA(section, key, text, path);
}

}  // namespace

Settings::Settings() : FromCommandLine(0), LogFile(), FileProblem(0), OutputPathTooLong(0) {
    for (const IntSetting& key : kIntKeys)
        this->*key.field = key.initial;
    for (const TextKey& key : kTextKeys) {
        const std::span<char> field = key.field(*this);
        std::fill(field.begin(), field.end(), '\0');
    }
}

void Settings::SetCommandLineOverlay(void (*overlay)(Settings&)) { g_commandLineOverlay = overlay; }

void Settings::Load() {
    ReadFile();
    if (g_commandLineOverlay)
        g_commandLineOverlay(*this);
}

void Settings::ReadFile() {
    char path[kIniPathBytes];
    if (!SettingsFilePath(path, sizeof path, true))
        return;
    // One read and parse of the file serves every key: a settings record is reloaded for every
    // image, and a large hand-made file must not be parsed once per key.
    const ProfileSnapshot file(path);
    FileProblem = file.Problem();
    bool outputPathWhole = true;
    for (const TextKey& key : kTextKeys) {
        if (!ReadText(file, key, key.field(*this)) && std::strcmp(key.key, "OutputPath") == 0)
            outputPathWhole = false;
    }
    for (const IntSetting& key : kIntKeys)
        this->*key.field = ReadInt(file, key);
    if (JPGSuffix[0] == '.')
        std::memmove(JPGSuffix, JPGSuffix + 1, std::strlen(JPGSuffix));
    AddTrailingSeparator(OutputPath, sizeof OutputPath);
    AddTrailingSeparator(JPGDir, sizeof JPGDir);
    // A cut folder, or one without room for its final '/', would put the output somewhere else:
    // into a shorter folder of the same beginning, or into the parent under a joined name.
    const size_t outputLength = std::strlen(OutputPath);
    OutputPathTooLong = !outputPathWhole || (outputLength > 1 && OutputPath[outputLength - 1] != '/') ? 1 : 0;
}

const IntSetting* FindIntSetting(int Settings::*field) {
    for (const IntSetting& key : kIntKeys) {
        if (key.field == field)
            return &key;
    }
    return nullptr;
}

void WriteSettingInt(const char* section, const char* key, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    WriteSettingText(section, key, text);
}

void WriteSettingText(const char* section, const char* key, const char* text) {
    if (HasArguments())
        return;
    StoreKey(section, key, text ? text : "", true);
}

void StoreSettingText(const char* section, const char* key, const char* text) {
    StoreKey(section, key, text ? text : "", false);
}

bool HasArguments() { return CommandLineHasArguments(); }

void AddTrailingSeparator(char* text, size_t size) {
    if (!text)
        return;
    const size_t length = std::strlen(text);
    if (length > 1 && text[length - 1] != '/' && length + 2 <= size) {
        text[length] = '/';
        text[length + 1] = '\0';
    }
}

void RemoveTrailingSeparator(char* text) {
    if (!text)
        return;
    const size_t length = std::strlen(text);
    if (length > 1 && text[length - 1] == '/')
        text[length - 1] = '\0';
}

int ProgramFilePath(char* destination, size_t size, const char* name, const char* extension, bool reportFailure) {
    std::string program;
    if (!destination || size == 0 || !ProgramFile(program))
        return FailPath(destination, size, reportFailure);
    const size_t slash = program.rfind('/');
    std::string result = program.substr(0, slash + 1);
    if (name && *name) {
        result += name;
    } else {
        std::string base = program.substr(slash + 1);
        const size_t dot = base.rfind('.');
        if (dot != std::string::npos && dot > 0)
            base.resize(dot);
        result += base;
    }
    if (extension && *extension) {
        if (extension[0] != '.')
            result += '.';
        result += extension;
    }
    if (!CopyFits(destination, size, result))
        return FailPath(destination, size, reportFailure);
    return 1;
}

int SettingsFilePath(char* destination, size_t size, bool reportFailure) {
    const char* named = std::getenv("PIXREEL_INI");
    if (named && *named) {
        if (!destination || !CopyFits(destination, size, named))
            return FailPath(destination, size, reportFailure);
        return 1;
    }
    if (!ProgramFilePath(destination, size, nullptr, ".ini", reportFailure))
        return 0;
    const std::string besideProgram = destination;
    // An installed program never keeps its settings beside itself, whatever the permissions:
    // root running /usr/bin/pixreel must not create /usr/bin/pixreel.ini.
    if (!RunsInstalled() &&
        (::access(besideProgram.c_str(), F_OK) == 0 || ::access(FolderOf(besideProgram).c_str(), W_OK) == 0))
        return 1;
    const std::string personal = XdgSettingsFile();
    if (personal.empty()) {
        errno = ENOENT;
        return FailPath(destination, size, reportFailure);
    }
    if (!CopyFits(destination, size, personal))
        return FailPath(destination, size, reportFailure);
    return 1;
}
