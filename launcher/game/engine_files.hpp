#pragma once
// File operations of the video engine swap in the game folder. Paths are byte strings for the platform's
// ANSI functions.

#include <cstdint>
#include <string>
#include <string_view>

namespace launcher {

// The path names an existing entry that is not a folder.
bool isFile(const std::string& path);
// False when the file cannot be queried.
bool fileSize(const std::string& path, std::uint64_t& size);

// True only when both files open, have the same size and the same bytes.
bool filesIdentical(const std::string& pathA, const std::string& pathB);

// Size and SHA-256 of a file's bytes, to recognise that exact file later.
struct FileFingerprint {
    std::uint64_t size = 0;
    std::string sha256; // 64 lower-case hexadecimal digits
    bool operator==(const FileFingerprint& other) const { return size == other.size && sha256 == other.sha256; }
};

// False when the file cannot be opened or read.
bool fingerprintFile(const std::string& path, FileFingerprint& fingerprint);

// Every change that an engine switch makes to the folder. Tests stand in a fake that stops after any one
// of them, as a crash or a power cut would.
class EngineFileWrites {
public:
    virtual ~EngineFileWrites() = default;
    // Creates `to` where nothing was, with the bytes of `from` (or `bytes`), flushed to the disk. A failure
    // leaves nothing at `to`.
    virtual bool copyToNewFile(const std::string& from, const std::string& to) const;
    virtual bool writeNewFile(const std::string& path, std::string_view bytes) const;
    // Moves `from` onto `to` in one step, replacing it (read-only or not), the move on the disk on return.
    virtual bool moveOnto(const std::string& from, const std::string& to) const;
    // Removes the file, read-only or not.
    virtual bool remove(const std::string& path) const;
};

const EngineFileWrites& systemEngineFileWrites();

} // namespace launcher
