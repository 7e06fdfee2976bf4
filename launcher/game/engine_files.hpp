#pragma once
// File operations of the video engine swap in the game folder. Paths are byte strings for the platform's
// ANSI functions.

#include <cstdint>
#include <string>

namespace launcher {

// The path names an existing entry that is not a folder.
bool isFile(const std::string& path);
// False when the file cannot be queried.
bool fileSize(const std::string& path, std::uint64_t& size);
bool deleteFile(const std::string& path);
// Copies from to to; fails when to already exists.
bool copyFileNew(const std::string& from, const std::string& to);

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

} // namespace launcher
