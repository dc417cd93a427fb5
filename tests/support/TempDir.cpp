#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

TempDir::TempDir() {
    std::string base = (std::filesystem::temp_directory_path() / "pixreel-test-XXXXXX").string();
    std::vector<char> buffer(base.begin(), base.end());
    buffer.push_back('\0');
    char* made = ::mkdtemp(buffer.data());
    if (!made)
        ADD_FAILURE() << "mkdtemp failed";
    path_ = made ? made : base;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string NumberedName(const std::string& prefix, long number, const std::string& suffix) {
    std::string name = prefix;
    name += std::to_string(number);
    name += suffix;
    return name;
}

bool RunningInCi() {
    const char* ci = std::getenv("PIXREEL_CI");
    return ci && *ci && std::string(ci) != "0";
}

bool HaveProgram(const std::string& name) {
    std::string command = "command -v '" + name + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}
