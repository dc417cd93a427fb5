#include "platform/VersionInfo.h"

#include <array>
#include <utility>

#include "platform/StringTable.h"

namespace {

constexpr std::array<std::pair<const char*, const char*>, 7> kValues{{
    {"FileVersion", "1.0.0"},
    {"ProductVersion", "1.0.0"},
    {"SpecialBuild", "Linux"},
    {"LegalCopyright", "Copyright \xC2\xA9 2026 Tavrin Ltd"},
    {"ProductName", "Pixreel"},
    {"CompanyName", "Tavrin Ltd"},
    {"FileDescription", "Pixreel - still images to AVI video"},
}};

}  // namespace

std::string VersionValue(const std::string& name) {
    for (const auto& [key, value] : kValues) {
        if (name == key)
            return value;
    }
    return "Failure getting " + name;
}

std::string VersionLine() {
    const char* title = LoadStringText(IDS_APP_TITLE);
    return std::string(title ? title : "") + " Version " + VersionValue("SpecialBuild") + " " +
           VersionValue("FileVersion");
}
