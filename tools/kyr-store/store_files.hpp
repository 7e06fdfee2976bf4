#pragma once
// How the publisher's commands reach the store folder: one of them at a time under the store's lock,
// documents read as they are, and signed documents written whole with their ".sig".

#include "tools/kyr-store/signing_key.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace kyrstore {

// One writer per store at a time. The lock is the kernel's, so a crashed command never leaves it held.
// Throws std::runtime_error when another command holds it.
class StoreLock {
public:
    explicit StoreLock(const std::filesystem::path& store);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_ = -1;
};

// The file's bytes, or nothing when it cannot be opened. Throws when it opens but cannot be read.
std::optional<std::string> read_existing(const std::filesystem::path& path);

bool signature_matches(const std::string& signature_b64, const std::string& document, const SigningKey& key);

// The document at store_path below store and its ".sig", each written to a temporary, flushed and renamed
// (durably), after the signature was checked against the key.
void write_signed(const std::filesystem::path& store, const std::string& store_path, const std::string& text,
                  const SigningKey& key);

} // namespace kyrstore
