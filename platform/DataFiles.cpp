#include "platform/DataFiles.h"

#include <climits>
#include <filesystem>

#include <unistd.h>

namespace {

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace

std::string RunningProgramFile() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    std::string path(buffer, static_cast<size_t>(length));
    // The kernel marks a program file replaced since the start (a rebuild, an upgrade).
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
}

std::string ProgramFolder() {
    const std::string program = RunningProgramFile();
    const size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

std::string DataFilePath(const std::string& name) {
    const std::string folder = ProgramFolder();
    const std::string beside = folder + name;
    if (Exists(beside))
        return beside;
    // /proc/self/exe names the real file, so "bin/.." can be folded away without following links.
    const std::string installed =
        std::filesystem::path(folder + "../share/pixreel/" + name).lexically_normal().string();
    return Exists(installed) ? installed : beside;
}

bool IsInstalledProgramFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.size() < 4 || path.compare(path.size() - 4, 4, "/bin") != 0)
        return false;
    // The data files that a build tree makes beside the program and a portable copy carries.
    for (const char* name : {"pixreel.jpg", "help", "icons"}) {
        if (Exists(path + "/" + name))
            return false;
    }
    return true;
}

bool RunsInstalled() {
    const std::string folder = ProgramFolder();
    return !folder.empty() && IsInstalledProgramFolder(folder);
}
