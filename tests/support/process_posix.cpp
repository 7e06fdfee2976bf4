#include "support/process_posix.hpp"

#include "support/scratch_folder.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kyrtest {

std::string findExecutable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(std::string(path != nullptr ? path : "") + ":/usr/local/sbin:/usr/sbin:/sbin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) {
            return folder + "/" + name;
        }
    }
    return {};
}

ProcessResult runProcess(const std::vector<std::string>& command, std::chrono::milliseconds timeout) {
    const ScratchFolder folder;
    ProcessResult result;
    {
        ChildProcess child(command, folder / "out", folder / "err");
        const std::optional<int> status = child.wait(timeout);
        result.timedOut = !status;
        result.exitCode = status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    result.out = read_bytes(folder / "out");
    result.err = read_bytes(folder / "err");
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& command, const std::filesystem::path& outFile,
                           const std::filesystem::path& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = outFile.empty() ? "/dev/null" : outFile.string();
    const std::string err = errFile.empty() ? "/dev/null" : errFile.string();
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // The test's own sockets (a listening test server above all) must not live on in the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int error = command.empty() ? EINVAL : posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + (command.empty() ? "" : command[0]) + ": " + std::strerror(error));
    }
}

ChildProcess::~ChildProcess() {
    sendSignal(SIGKILL);
    wait(std::chrono::seconds(10));
}

bool ChildProcess::running() {
    int status = 0;
    if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
    }
    return !status_;
}

void ChildProcess::sendSignal(int signal) {
    if (running()) {
        ::kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status_;
}

} // namespace kyrtest
