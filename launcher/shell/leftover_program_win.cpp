#include "launcher/shell/leftover_program.hpp"

#include "patch/running_file.hpp"

#include <windows.h>

#include <filesystem>
#include <system_error>

namespace launcher {
namespace {

// Ending a process can take seconds (under Wine about two after it started its successor).
constexpr int kAttempts = 50;
constexpr DWORD kPauseMs = 200;
constexpr DWORD kModulePathLimit = MAX_PATH; // start-up refuses longer module paths

} // namespace

void removeLeftoverProgram() {
    std::wstring module(kModulePathLimit, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), kModulePathLimit);
    if (length == 0 || length >= kModulePathLimit) {
        return;
    }
    module.resize(length);
    const std::filesystem::path running(module);
    removeWithRetries(
        [&running] {
            bool gone = true;
            for (int n = 1; n <= gu::patch::kAsideNames; ++n) {
                std::error_code error;
                std::filesystem::remove(gu::patch::aside_path(running, n), error);
                gone = gone && !error;
            }
            return gone;
        },
        [] { Sleep(kPauseMs); }, kAttempts);
}

} // namespace launcher
