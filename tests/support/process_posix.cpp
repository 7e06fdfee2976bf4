#include "support/process_posix.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kyrtest {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> argumentVector(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    void redirect(int fd, const std::filesystem::path& file) {
        const std::string name = file.empty() ? std::string("/dev/null") : file.string();
        posix_spawn_file_actions_addopen(&actions_, fd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    void duplicate(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
    // The test's own sockets and pipes (a listening test server above all) must not live on in the child.
    void closeTheRest() { posix_spawn_file_actions_addclosefrom_np(&actions_, 3); }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

pid_t spawn(const std::vector<std::string>& command, FileActions& actions) {
    if (command.empty()) {
        throw std::invalid_argument("spawn: empty command");
    }
    actions.closeTheRest();
    std::vector<char*> argv = argumentVector(command);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, command[0].c_str(), actions.get(), nullptr, argv.data(), environ);
    if (error != 0) {
        throw std::runtime_error("cannot start " + command[0] + ": " + std::strerror(error));
    }
    return pid;
}

} // namespace

std::string findExecutable(const std::string& name) {
    std::vector<std::string> folders;
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t end = list.find(':', start);
            folders.push_back(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
    folders.insert(folders.end(), {"/usr/local/sbin", "/usr/sbin", "/sbin"});
    for (const std::string& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

void decodeWaitStatus(int status, ProcessResult& result) {
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

ProcessResult runProcess(const std::vector<std::string>& command, std::chrono::milliseconds timeout) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw std::runtime_error("pipe failed");
    }
    FileActions actions;
    actions.duplicate(outPipe[1], 1);
    actions.duplicate(errPipe[1], 2);
    pid_t pid = -1;
    try {
        pid = spawn(command, actions);
    } catch (...) {
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
            ::close(fd);
        }
        throw;
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    ProcessResult result;
    const Clock::time_point deadline = Clock::now() + timeout;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            char buffer[8192];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) {
            ::close(fd.fd);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    decodeWaitStatus(status, result);
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& command, const std::filesystem::path& outFile,
                           const std::filesystem::path& errFile) {
    FileActions actions;
    actions.redirect(1, outFile);
    actions.redirect(2, errFile);
    pid_ = spawn(command, actions);
}

ChildProcess::~ChildProcess() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        wait(std::chrono::seconds(10));
    }
}

bool ChildProcess::running() {
    if (status_) {
        return false;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

void ChildProcess::sendSignal(int signal) {
    if (running()) {
        ::kill(pid_, signal);
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (running()) {
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status_;
}

} // namespace kyrtest
