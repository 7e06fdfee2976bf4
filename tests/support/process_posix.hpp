#pragma once
// Real programs in end-to-end tests, started without a shell and killed at the test's will. Native only.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kyrtest {

struct ProcessResult {
    int exitCode = -1; // -1 unless the program exited by itself
    bool timedOut = false;
    std::string out;
    std::string err;
};

// The full path of a program found in PATH or in /usr/sbin and /sbin (where nginx lives), or empty.
std::string findExecutable(const std::string& name);

// Runs command[0] with the remaining arguments; one still running after `timeout` is killed.
ProcessResult runProcess(const std::vector<std::string>& command, std::chrono::milliseconds timeout);

// A program beside the test, its output going to the given files (empty: discarded); killed when it goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& command, const std::filesystem::path& outFile = {},
                 const std::filesystem::path& errFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running();
    void sendSignal(int signal);
    // The raw wait status once the program ended within `timeout`, else nothing.
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

} // namespace kyrtest
