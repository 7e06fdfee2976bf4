#include "launcher/shell/program_start.hpp"

#include <windows.h>

#include <vector>

namespace launcher {

// CreateProcessA may write into the command line, so it gets a copy of its own.
bool startProgramInFolder(const std::string& folder, const std::string& commandLine) {
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace launcher
