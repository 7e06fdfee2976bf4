#pragma once
// Write-then-rename: a file that must never be left half-written is written under a temporary name and
// then moved onto its own name. When the move is refused (a target locked against renaming, another
// volume), the temporary is copied over the target instead.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace gu::patch {

// The two file-system calls of a replace, behind a seam: tests substitute a mover that refuses them,
// which no portable test can make the real file system do on demand.
class FileMover {
public:
    virtual ~FileMover() = default;
    // Move with replace; on Windows MoveFileExW with replace-existing and copy-allowed.
    virtual void rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec) const;
    // Writes from's bytes over to in place (to keeps its identity, so a rename lock does not stop it).
    virtual void copy_overwrite(const std::filesystem::path& from, const std::filesystem::path& to,
                                std::error_code& ec) const;
};

const FileMover& system_file_mover();

// Moves `from` onto `to`, replacing it. If the move fails: calls `before_copy` (when set), copies `from`
// over `to`, flushes `to` to the disk and removes `from`, ignoring a failure to remove it. If the copy
// fails too, throws std::runtime_error(failure_prefix + to + ": " + system message) and `from` stays.
// `from` should have been flushed to the disk (durable_file.hpp); the caller flushes the folder of `to`.
void replace_file(const std::filesystem::path& from, const std::filesystem::path& to, std::string_view failure_prefix,
                  const std::function<void()>& before_copy = {}, const FileMover& mover = system_file_mover());

// Each text is followed by the path concerned: the temporary file for the first two, the target (then
// ": " and the system message) for the last.
struct AtomicWriteMessages {
    std::string cannot_open;
    std::string write_failed;
    std::string install_failed;
};

// Writes `bytes` to `temporary` (created anew: a link under its name goes as a link, never written
// through), closes it and flushes it to the disk, then replace_file() onto `target` and flushes the
// target's folder, so that the new file survives a power cut. A temporary that could not be written or
// flushed completely is removed and the target is not touched. The target's folder must exist. A failed
// flush throws LocalWriteError ("write failed: ...").
void write_file_atomically(const std::filesystem::path& target, const std::filesystem::path& temporary,
                           std::string_view bytes, const AtomicWriteMessages& messages,
                           const std::function<void()>& before_copy = {}, const FileMover& mover = system_file_mover());

// `path` followed by `suffix`, as the ".tmp" and ".updpart" companions are named.
std::filesystem::path with_suffix(const std::filesystem::path& path, std::string_view suffix);

// A path as UTF-8 text for messages.
std::string path_text(const std::filesystem::path& path);

} // namespace gu::patch
