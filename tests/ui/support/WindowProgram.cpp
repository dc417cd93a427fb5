#include "WindowProgram.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "XDisplay.h"
#include "support/PixreelRun.h"
#include "support/TempDir.h"

extern char** environ;

WindowProgram::WindowProgram(const std::vector<std::string>& args, const std::string& ini,
                             const std::string& runtimeDir, const std::map<std::string, std::string>& env)
    : errPath_(runtimeDir + "/pixreel.err") {
    std::map<std::string, std::string> vars = env;
    vars["PIXREEL_INI"] = ini;
    vars["DISPLAY"] = TestDisplay();
    vars["XDG_RUNTIME_DIR"] = runtimeDir;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!vars.count(entry.substr(0, entry.find('='))) && entry.rfind("WAYLAND_DISPLAY=", 0) != 0)
            environment.push_back(entry);
    }
    for (const auto& [name, value] : vars)
        environment.push_back(name + "=" + value);

    pid_ = SpawnPixreel(args, environment, "/dev/null", errPath_);
}

WindowProgram::~WindowProgram() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool WindowProgram::WaitForExit(int timeoutMs, int& status) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int wstatus = 0;
        if (::waitpid(pid_, &wstatus, WNOHANG) == pid_) {
            pid_ = -1;
            status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool WindowProgram::Running() {
    int status = 0;
    return pid_ > 0 && !WaitForExit(0, status);
}

std::string WindowProgram::Errors() const {
    return ReadFileBytes(errPath_);
}
