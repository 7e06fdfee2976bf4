#include "launcher/shell/folder_lock.hpp"

#include "patch/sha256.hpp"

#include <windows.h>

#include <string_view>

namespace launcher {
namespace {

constexpr DWORD kPathLimit = 32768;
constexpr int kWindowWaits = 30; // a launcher still starting shows its window within a few seconds
constexpr DWORD kWindowWaitMs = 100;
// Enough of the hash that two folders never meet by chance.
constexpr std::size_t kNameHashDigits = 32;

// The folder with its spelling settled: full, with long names, in capitals as the file system compares
// names (the invariant locale maps as every language but Turkish does).
std::wstring comparableFolder(const std::wstring& folder) {
    std::wstring full(kPathLimit, L'\0');
    DWORD length = GetFullPathNameW(folder.c_str(), kPathLimit, full.data(), nullptr);
    full.resize(length > 0 && length < kPathLimit ? length : 0);
    if (full.empty()) {
        full = folder;
    }
    std::wstring longForm(kPathLimit, L'\0');
    length = GetLongPathNameW(full.c_str(), longForm.data(), kPathLimit);
    if (length > 0 && length < kPathLimit) {
        full.assign(longForm.c_str(), length);
    }
    std::wstring upper(full.size(), L'\0');
    const int size = static_cast<int>(full.size());
    if (size > 0 && LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.data(), size, upper.data(), size) == size) {
        return upper;
    }
    return full;
}

// The folder of a program file, empty when the path has no folder.
std::wstring folderOf(const std::wstring& program) {
    const std::size_t slash = program.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
}

std::wstring moduleFolder() {
    std::wstring module(kPathLimit, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), kPathLimit);
    module.resize(length < kPathLimit ? length : 0);
    return comparableFolder(folderOf(module));
}

std::wstring lockName(const std::wstring& folder) {
    gu::patch::Sha256 hasher;
    hasher.update(folder.data(), folder.size() * sizeof(wchar_t));
    const gu::patch::Sha256Digest digest = hasher.finish();
    const std::string hex = gu::patch::to_hex(digest.data(), digest.size()).substr(0, kNameHashDigits);
    return L"Local\\KyrLauncher-" + std::wstring(hex.begin(), hex.end());
}

std::wstring processFolder(DWORD process) {
    const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (handle == nullptr) {
        return {};
    }
    std::wstring image(kPathLimit, L'\0');
    DWORD length = kPathLimit;
    const bool found = QueryFullProcessImageNameW(handle, 0, image.data(), &length) != FALSE;
    CloseHandle(handle);
    image.resize(found ? length : 0);
    return comparableFolder(folderOf(image));
}

struct WindowSearch {
    const std::wstring* folder;
    const char* windowClass;
    HWND found;
};

BOOL CALLBACK checkWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    char className[64] = {};
    DWORD process = 0;
    if (GetClassNameA(window, className, sizeof className) == 0 || lstrcmpA(className, search.windowClass) != 0 ||
        GetWindowThreadProcessId(window, &process) == 0 || process == GetCurrentProcessId() ||
        processFolder(process) != *search.folder) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

} // namespace

FolderLock::FolderLock() : folder_(moduleFolder()) {
    mutex_ = CreateMutexW(nullptr, FALSE, lockName(folder_).c_str());
}

FolderLock::~FolderLock() {
    release();
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

bool FolderLock::take() {
    if (held_) {
        return true;
    }
    // Without a lock to take (the name is in use by an object of another kind) the launcher runs alone.
    if (mutex_ == nullptr) {
        return true;
    }
    const DWORD wait = WaitForSingleObject(mutex_, 0);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return held_;
}

void FolderLock::release() {
    if (held_) {
        ReleaseMutex(mutex_);
        held_ = false;
    }
}

void FolderLock::bringForwardHolder(const char* windowClass) const {
    WindowSearch search{&folder_, windowClass, nullptr};
    for (int attempt = 0; attempt < kWindowWaits && search.found == nullptr; ++attempt) {
        if (attempt > 0) {
            Sleep(kWindowWaitMs);
        }
        EnumWindows(checkWindow, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found == nullptr) {
        return;
    }
    if (IsIconic(search.found)) {
        ShowWindow(search.found, SW_RESTORE);
    }
    SetForegroundWindow(search.found);
}

} // namespace launcher
