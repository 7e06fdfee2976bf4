#pragma once
// A game file being written under its ".updpart" name.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace gu::patch {

class PartFile {
public:
    // Creates the part anew: a leftover of an earlier run goes, and so does a link under the name, as a
    // link. std::runtime_error "failed to open for write: " + path.
    explicit PartFile(std::filesystem::path path);
    // Closes a part that was not finished; its bytes stay for whoever removes it.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Writes straight through to the system (no buffer of our own), so a reader of the part sees every
    // byte once this returns. std::runtime_error "failed writing: " + path.
    void write(std::string_view bytes);
    // Closes the part. std::runtime_error "failed writing: " + path. The part still has to be flushed to
    // the disk (flush_file_to_disk) before it is moved onto its name.
    void finish();

private:
    [[noreturn]] void fail_writing();

    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::uint64_t written_ = 0;
    std::uint64_t sent_to_disk_ = 0; // bytes whose writing to the disk was started
};

} // namespace gu::patch
