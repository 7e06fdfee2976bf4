#pragma once
// Launcher files that must never be left half-written go to their name plus ".tmp" first and are then
// moved onto their name in one step, so that any failure leaves the previous file as it was.

#include <string>
#include <string_view>

namespace launcher {

using FileReplacer = bool (*)(const std::string& from, const std::string& to);

// Tests point this at a fake that refuses, which the real file system cannot be made to do on demand;
// while it is null, the platform's move runs.
inline FileReplacer fileReplacerOverride = nullptr;

// The platform's move with replace: on Windows MoveFileExA with MOVEFILE_REPLACE_EXISTING, elsewhere
// rename. Either the target is replaced whole or it stays untouched.
bool replaceFileOnPlatform(const std::string& from, const std::string& to);

inline bool replaceFile(const std::string& from, const std::string& to) {
    return fileReplacerOverride != nullptr ? fileReplacerOverride(from, to) : replaceFileOnPlatform(from, to);
}

// Sets the file's attributes to normal on Windows (read-only, hidden and system all block a replace or an
// overwrite); elsewhere adds write permission for the owner. Failures are ignored.
void resetFileAttributes(const std::string& path);

// Copies from over to (the target's attributes reset first); false when the copy failed.
bool copyFileOver(const std::string& from, const std::string& to);

enum class ReplaceWriteResult {
    Written,
    CannotCreate, // the ".tmp" file could not be opened for writing
    ShortWrite,   // not every byte reached the ".tmp" file; it is removed
    NotReplaced,  // the move onto the target failed; the ".tmp" file is removed
};

// Writes bytes to path + ".tmp" and moves that onto path. resetTarget resets the attributes of an
// existing path before the move, so that a read-only file is replaced too.
ReplaceWriteResult writeFileReplacing(const std::string& path, std::string_view bytes, bool resetTarget);

} // namespace launcher
