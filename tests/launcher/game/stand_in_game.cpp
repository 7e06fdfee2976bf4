// Stands in for the game's Main.exe in the launch tests: records how it was started (command line,
// current folder, GALLIUM_DRIVER) in launch-record.txt in its current folder, then ends. Started with
// " /hold" it stays running for a while after that, as a program whose file is in use.

#include <windows.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kHoldMs = 30000; // ended by the test long before; bounded so that none is left behind

std::string variable(const char* name) {
    char value[256];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? "<unset>" : std::string(value, length);
}

} // namespace

int main() {
    char folder[MAX_PATH];
    const DWORD folderLength = GetCurrentDirectoryA(MAX_PATH, folder);
    const std::string record = std::string("command=") + GetCommandLineA() +
                               "\ncwd=" + std::string(folder, folderLength < MAX_PATH ? folderLength : 0) +
                               "\ngallium=" + variable("GALLIUM_DRIVER") + "\n";
    // Written under another name and moved into place, so the test never reads half a record.
    const HANDLE file =
        CreateFileA("launch-record.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != record.size()) {
        return 1;
    }
    if (!MoveFileExA("launch-record.tmp", "launch-record.txt", MOVEFILE_REPLACE_EXISTING)) {
        return 1;
    }
    if (std::strstr(GetCommandLineA(), " /hold") != nullptr) {
        Sleep(kHoldMs);
    }
    return 0;
}
