#pragma once
// Launcher files that must never be left half-written go to a temporary name first, reach the disk, and
// are then moved onto their name in one step, so that any failure (a crash or a power cut included) leaves
// either the previous file or the new one, never part of one.

#include <functional>
#include <string>
#include <string_view>

namespace launcher {

using FileReplacer = bool (*)(const std::string& from, const std::string& to);

// Tests point this at a fake that refuses, which the real file system cannot be made to do on demand;
// while it is null, the platform's move runs.
inline FileReplacer fileReplacerOverride = nullptr;

// The platform's move with replace: on Windows MoveFileExW with MOVEFILE_REPLACE_EXISTING and
// MOVEFILE_WRITE_THROUGH (the move itself is on the disk when it returns), elsewhere rename. Either the
// target is replaced whole or it stays untouched. A link at the target goes first, as a link.
bool replaceFileOnPlatform(const std::string& from, const std::string& to);

inline bool replaceFile(const std::string& from, const std::string& to) {
    return fileReplacerOverride != nullptr ? fileReplacerOverride(from, to) : replaceFileOnPlatform(from, to);
}

// Sets the file's attributes to normal on Windows (read-only, hidden and system all block a replace or an
// overwrite); elsewhere adds write permission for the owner. Failures are ignored. A link, or a file with
// other names, is left as it is: the change would reach the file it shares.
void resetFileAttributes(const std::string& path);

// Removes a file or a link (never a real folder, never a link's target); false when it could not be
// removed or was not there.
bool removeFile(const std::string& path);

// Copies from over to, through to + ".tmp" as writeFileReplacing does (the target's attributes reset
// first); false when the copy failed, to then untouched.
bool copyFileOver(const std::string& from, const std::string& to);

enum class NewFileResult {
    Written,
    CannotCreate, // something is at the name already, or the file could not be created
    ShortWrite,   // a block could not be read or written, or the flush failed; the file is removed
};

// Gives the new file's bytes block by block: sets block to the next bytes, empty at the end. False on a
// read error.
using BlockSource = std::function<bool(std::string_view& block)>;

// Creates path as a new file (never through an entry already at the name), writes every block, flushes it
// to the disk (FlushFileBuffers, fsync) and closes it. Anything short of that removes it again.
NewFileResult writeNewFile(const std::string& path, const BlockSource& source);
NewFileResult writeNewFile(const std::string& path, std::string_view bytes);
// writeNewFile with the bytes of the file from; false on any failure, nothing then left at to.
bool copyToNewFile(const std::string& from, const std::string& to);

enum class ReplaceWriteResult {
    Written,
    CannotCreate, // the ".tmp" file could not be created
    ShortWrite,   // not every byte reached the ".tmp" file; it is removed
    NotReplaced,  // the move onto the target failed; the ".tmp" file is removed
};

// Writes bytes to path + ".tmp" (a stale one is removed first), flushed to the disk, and moves that onto
// path. resetTarget resets the attributes of an existing path before the move, so that a read-only file is
// replaced too.
ReplaceWriteResult writeFileReplacing(const std::string& path, std::string_view bytes, bool resetTarget);

} // namespace launcher
