#include "XDisplay.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

bool HaveCommand(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

pid_t SpawnQuiet(const std::vector<std::string>& args, int stdoutFd = -1) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Starts a program that ends with the test program, even when the test program is killed (a
// timeout of the test runner), so that no display server is left behind.
pid_t SpawnTiedToTest(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // Only async-signal-safe calls between fork and exec.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// The Xvfb server and its window manager, ended when the test program exits.
class PrivateDisplay {
public:
    PrivateDisplay() {
        if (!HaveCommand("Xvfb"))
            return;
        // Xvfb picks a free display number itself and writes it to the pipe once it listens.
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        server_ = SpawnTiedToTest({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                                   "-nolisten", "tcp"});
        ::close(fds[1]);
        char number[32] = "";
        ssize_t got = server_ > 0 ? ::read(fds[0], number, sizeof number - 1) : -1;
        ::close(fds[0]);
        if (got <= 0)
            return;
        number[got] = '\0';
        // Formatted in place: GCC 12 at -O3 warns falsely (-Wrestrict) about ":" + std::to_string.
        char name[16];
        std::snprintf(name, sizeof name, ":%d", std::atoi(number));
        name_ = name;
        ::setenv("DISPLAY", name_.c_str(), 1);
        ::unsetenv("WAYLAND_DISPLAY");
        // GTK looks for the accessibility bus on start-up; there is none here.
        ::setenv("NO_AT_BRIDGE", "1", 1);
        // Nor a settings service: file dialogs keep their settings in memory.
        ::setenv("GSETTINGS_BACKEND", "memory", 1);
        if (HaveCommand("openbox")) {
            manager_ = SpawnTiedToTest({"openbox", "--sm-disable"});
            // The manager is ready once it has claimed the screen; a short wait is enough.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    }
    ~PrivateDisplay() {
        for (pid_t pid : {manager_, server_}) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
    const std::string& Name() const { return name_; }

private:
    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string name_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

}  // namespace

std::string TestDisplay() {
    static PrivateDisplay display;
    return display.Name();
}

bool DisplayAvailable() {
    return !TestDisplay().empty();
}

std::string RunOnDisplay(const std::vector<std::string>& args, int* status) {
    TestDisplay();
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    pid_t pid = SpawnQuiet(args, fds[1]);
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int wstatus = 0;
    int code = -1;
    if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
        code = WEXITSTATUS(wstatus);
    if (status)
        *status = code;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

std::vector<std::string> FindWindows(const std::string& titlePattern) {
    return Lines(RunOnDisplay({"xdotool", "search", "--onlyvisible", "--name", titlePattern}));
}

WindowGeometry GetWindowGeometry(const std::string& window) {
    WindowGeometry geometry;
    for (const std::string& line : Lines(RunOnDisplay({"xdotool", "getwindowgeometry", "--shell", window}))) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = line.substr(0, equals);
        const int value = std::atoi(line.c_str() + equals + 1);
        if (name == "X")
            geometry.x = value;
        else if (name == "Y")
            geometry.y = value;
        else if (name == "WIDTH")
            geometry.width = value;
        else if (name == "HEIGHT")
            geometry.height = value;
    }
    return geometry;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string WaitForWindow(const std::string& titlePattern, int timeoutMs, const std::function<void()>& idle) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string candidate;
    WindowGeometry last;
    do {
        // A window is mapped at a token size first, then laid out and placed by the window
        // manager: it is ready once it has a real size and stays where it is between two looks.
        std::vector<std::string> found = FindWindows(titlePattern);
        if (!found.empty()) {
            const WindowGeometry geometry = GetWindowGeometry(found.front());
            if (found.front() == candidate && geometry.width > 16 && geometry.height > 16 &&
                geometry.x == last.x && geometry.y == last.y && geometry.width == last.width &&
                geometry.height == last.height)
                return candidate;
            candidate = found.front();
            last = geometry;
        }
        if (idle)
            idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return {};
}

void SendKeys(const std::string& window, const std::string& keys) {
    // Keys go to the active window as typed ones: GTK ignores key events sent to a window
    // directly (synthetic events).
    RunOnDisplay({"xdotool", "windowactivate", "--sync", window});
    RunOnDisplay({"xdotool", "key", "--clearmodifiers", keys});
}

void TypeText(const std::string& window, const std::string& text) {
    RunOnDisplay({"xdotool", "windowactivate", "--sync", window});
    RunOnDisplay({"xdotool", "type", "--delay", "20", "--", text});
}

void ClickAt(const std::string& window, int x, int y, int button) {
    RunOnDisplay({"xdotool", "mousemove", "--window", window, "--sync", std::to_string(x), std::to_string(y)});
    RunOnDisplay({"xdotool", "click", std::to_string(button)});
}

bool Screenshot(const std::string& window, const std::string& pngPath) {
    int status = -1;
    RunOnDisplay({"import", "-window", window, pngPath}, &status);
    return status == 0;
}
