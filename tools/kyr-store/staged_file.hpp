#pragma once
// Write-to-temporary-then-rename for everything the publisher puts into a store: a crashed publish leaves
// at most a "<name>.tmp" behind, never a half object under a name that clients fetch.

#include <filesystem>
#include <string_view>

namespace kyrstore {

class StagedFile {
public:
    // Creates (truncating) target + ".tmp", mode 0644 before the umask; its folder must exist.
    explicit StagedFile(std::filesystem::path target);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    void write(std::string_view bytes);

    // Closes the temporary and renames it onto the target. `durable` flushes the file to the disk first
    // and the folder entry after, for documents that must not point at data lost in a power cut.
    void commit(bool durable);

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
};

void write_staged(const std::filesystem::path& target, std::string_view bytes, bool durable);

// Flushes every written file to the disk at once: cheaper than one flush per chunk object, and enough to
// order "all objects on disk" before "documents that name them".
void flush_file_system();

} // namespace kyrstore
