#pragma once
// A game file being written under its ".updpart" name. Its bytes are hashed as they are written (while
// they are still in the processor's cache) and, once complete, flushed to the disk before anyone moves
// the part onto its name: after a power cut a file of the right size but unwritten content must never
// stand under a game file's name, where the patch state would trust it by its size.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "patch/sha256.hpp"

namespace gu::patch {

class PartFile {
public:
    // Creates or truncates the part. std::runtime_error "failed to open for write: " + path.
    explicit PartFile(std::filesystem::path path);
    // Closes a part that was not finished; its bytes stay for whoever removes it.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Writes straight through to the system (no buffer of our own), so a reader of the part sees every
    // byte once this returns. std::runtime_error "failed writing: " + path.
    void write(std::string_view bytes);
    // Closes the part and flushes it to the disk; returns the SHA-256 (hex) of everything written.
    // std::runtime_error "failed writing: " + path, or the LocalWriteError of a failed flush.
    std::string finish();

    const std::filesystem::path& path() const { return path_; }
    std::uint64_t size() const { return size_; }

private:
    [[noreturn]] void fail_writing();

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    Sha256 hasher_;
    std::uint64_t size_ = 0;
};

namespace detail {
// The platform's open for binary writing: truncating, unbuffered; nullptr on failure.
std::FILE* open_part_for_writing(const std::filesystem::path& path);
} // namespace detail

} // namespace gu::patch
