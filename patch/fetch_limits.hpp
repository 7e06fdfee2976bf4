#pragma once
// How large an object that Fetcher::get reads into memory may be. Every caller passes the limit of what
// it asks for, so a store (or anything between it and the player) that answers with an endless or huge
// body fails like any broken source instead of making the engine allocate without bound.

#include <cstdint>
#include <string>

namespace gu::patch {

// Channel, manifest and pack index documents.
inline constexpr std::uint64_t kMaxDocumentBytes = 64ull * 1024 * 1024;
// A ".sig" companion: 88 characters of Base64, perhaps with line breaks.
inline constexpr std::uint64_t kMaxSignatureBytes = 4 * 1024;
// A chunk object's limit is its compressed size "z" from the manifest.

// The FetchError text for a body that passed max_bytes; `where` names the object (its URL or file).
inline std::string size_limit_message(const std::string& where, std::uint64_t max_bytes) {
    return "object larger than " + std::to_string(max_bytes) + " bytes: " + where;
}

} // namespace gu::patch
