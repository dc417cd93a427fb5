#pragma once
// The pixreel program of this build started on the test display in the background, with a
// settings file and a runtime folder (single-instance lock, raise channel) of the test's own.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

class WindowProgram {
public:
    WindowProgram(const std::vector<std::string>& args, const std::string& ini, const std::string& runtimeDir,
                  const std::map<std::string, std::string>& env = {});
    /// Ends the program if it still runs.
    ~WindowProgram();
    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    /// Waits up to timeoutMs for the program to end; true, with its exit status, when it did.
    bool WaitForExit(int timeoutMs, int& status);
    bool Running();
    /// Its standard error so far.
    std::string Errors() const;

private:
    pid_t pid_ = -1;
    std::string errPath_;
};
