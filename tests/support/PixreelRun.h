#pragma once
// Runs the built pixreel program the way a user or a cron job does: with its own settings file,
// no display, stdin closed, and its standard output and error captured.

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

/// Path of the pixreel program of this build.
std::string PixreelProgram();
/// Path of a tool program of this build (makesamples, ...).
std::string BuildProgram(const std::string& name);

/// Starts pixreel with the arguments and exactly the environment env ("NAME=value" entries),
/// standard input from /dev/null and standard output and error written to the files out and
/// err; -1 when it could not be started.
pid_t SpawnPixreel(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& out,
                   const std::string& err);

struct PixreelResult {
    int status = -1;   ///< exit status; -1 when it did not exit normally
    std::string out;   ///< standard output
    std::string err;   ///< standard error
    /// The lines of standard output.
    std::vector<std::string> Lines() const;
};

/// Runs pixreel with the arguments, PIXREEL_INI set to ini, DISPLAY and WAYLAND_DISPLAY unset,
/// and the extra environment variables; waits for it.
PixreelResult RunPixreel(const std::vector<std::string>& args, const std::string& ini,
                         const std::map<std::string, std::string>& env = {});

/// A pixreel run in the background: its output goes to files that can be read while it runs.
class PixreelProcess {
public:
    PixreelProcess(const std::vector<std::string>& args, const std::string& ini, const std::string& scratchDir,
                   const std::map<std::string, std::string>& env = {});
    ~PixreelProcess();
    PixreelProcess(const PixreelProcess&) = delete;
    PixreelProcess& operator=(const PixreelProcess&) = delete;

    /// The standard output so far.
    std::string OutputSoFar() const;
    void Signal(int signal);
    /// Waits for the end and answers what it did.
    PixreelResult Wait();

private:
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
};
