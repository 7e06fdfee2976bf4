#include "launcher/shell/new_file.hpp"

#include <windows.h>

#include <utility>

namespace launcher {
namespace {

HANDLE handleOf(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

} // namespace

NewFile::NewFile(std::string path)
    : path_(std::move(path)), handle_(reinterpret_cast<std::intptr_t>(
                                  CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))) {}

NewFile::~NewFile() {
    discard();
}

bool NewFile::isOpen() const {
    return handleOf(handle_) != INVALID_HANDLE_VALUE;
}

bool NewFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD portion = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), bytes.data(), portion, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool NewFile::finish() {
    if (!isOpen()) {
        return false;
    }
    const bool flushed = FlushFileBuffers(handleOf(handle_)) != FALSE;
    const bool closed = CloseHandle(handleOf(handle_)) != FALSE;
    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    if (flushed && closed) {
        return true;
    }
    DeleteFileA(path_.c_str());
    return false;
}

void NewFile::discard() {
    if (isOpen()) {
        CloseHandle(handleOf(handle_));
        handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
        DeleteFileA(path_.c_str());
    }
}

} // namespace launcher
