#pragma once
// How the publisher's commands reach the store folder: documents read as they are, and signed documents
// written whole with their ".sig".

#include "tools/kyr-store/signing_key.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace kyrstore {

// The file's bytes, or nothing when it does not exist. Throws std::runtime_error when it cannot be read.
std::optional<std::string> read_store_file(const std::filesystem::path& file);

// The document at store_path below store and its ".sig", each written to a temporary, flushed and renamed
// (durably), after the signature was checked against the key.
void write_signed(const std::filesystem::path& store, const std::string& store_path, const std::string& text,
                  const SigningKey& key);

} // namespace kyrstore
