#include "support/PixreelRun.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/JobTesting.h"
#include "support/TempDir.h"

extern char** environ;

std::string PixreelProgram() {
    return BuildProgram("pixreel");
}

std::string BuildProgram(const std::string& name) {
    return std::string(PIXREEL_BINARY_DIR) + "/" + name;
}

std::vector<std::string> PixreelResult::Lines() const {
    return SplitLines(out);
}

namespace {

std::vector<std::string> Environment(const std::string& ini, const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "PIXREEL_INI" || extra.count(name))
            continue;
        env.push_back(entry);
    }
    env.push_back("PIXREEL_INI=" + ini);
    for (const auto& [name, value] : extra)
        env.push_back(name + "=" + value);
    return env;
}

int WaitStatus(pid_t pid) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

pid_t SpawnPixreel(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
                   const std::string& err) {
    std::string program = PixreelProgram();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> argsCopy = args;
    for (std::string& a : argsCopy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    std::vector<char*> envp;
    for (std::string& e : envCopy)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

PixreelResult RunPixreel(const std::vector<std::string>& args, const std::string& ini,
                         const std::map<std::string, std::string>& env) {
    TempDir scratch;
    PixreelResult result;
    pid_t pid = SpawnPixreel(args, Environment(ini, env), scratch.file("out"), scratch.file("err"));
    result.status = WaitStatus(pid);
    result.out = ReadFileBytes(scratch.file("out"));
    result.err = ReadFileBytes(scratch.file("err"));
    return result;
}

PixreelProcess::PixreelProcess(const std::vector<std::string>& args, const std::string& ini,
                               const std::string& scratchDir, const std::map<std::string, std::string>& env)
    : outPath_(scratchDir + "/pixreel.out"), errPath_(scratchDir + "/pixreel.err") {
    pid_ = SpawnPixreel(args, Environment(ini, env), outPath_, errPath_);
}

PixreelProcess::~PixreelProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        WaitStatus(pid_);
    }
}

std::string PixreelProcess::OutputSoFar() const {
    return ReadFileBytes(outPath_);
}

void PixreelProcess::Signal(int signal) {
    if (pid_ > 0)
        ::kill(pid_, signal);
}

PixreelResult PixreelProcess::Wait() {
    PixreelResult result;
    result.status = WaitStatus(pid_);
    pid_ = -1;
    result.out = ReadFileBytes(outPath_);
    result.err = ReadFileBytes(errPath_);
    return result;
}
