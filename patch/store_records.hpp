#pragma once
// Records of the patch store's signed documents: the channel, the manifest and the pack index.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gu::patch {

struct Channel {
    std::string product;
    std::string channel;
    std::string platform;
    std::string latest; // version name of the current manifest
    std::string min_supported;
    std::string updated_at;
    std::string min_client_ios;
    std::string min_client_android;
    // Raised by every publish, also by one that rolls back: an installation refuses a channel older than
    // the newest it accepted, so an old signed channel cannot be replayed to it. Absent in older stores.
    std::optional<std::uint64_t> serial;
    // Seconds since 1970 (UTC) from which the channel is refused: a mirror that stops following the store
    // cannot keep players on an old version for ever. Absent: it never expires.
    std::optional<std::int64_t> expires;
};

struct ManifestChunk {
    std::string h;      // SHA-256 of the decompressed bytes, lower-case hex; also the object's name
    std::uint64_t n = 0; // decompressed size
    std::uint64_t z = 0; // compressed (stored) size
};

struct ManifestFile {
    std::string path; // relative to the installation root, "/" as separator
    std::uint64_t size = 0;
    std::string sha256;
    std::vector<ManifestChunk> chunks; // the file is their decompressed contents in this order
};

struct Manifest {
    std::int32_t schema = 0;
    std::string product;
    std::string channel;
    std::string version;
    std::string platform;
    std::uint64_t total_size = 0;
    std::vector<std::string> preserve;
    std::vector<ManifestFile> files;
};

struct PackEntry {
    std::string name; // file name under "v1/packs/"
    std::uint64_t size = 0;
    std::string sha256;
};

struct ChunkLocation {
    std::uint32_t pack = 0;   // position in PackIndex::packs
    std::uint64_t offset = 0; // of the compressed object inside the pack
    std::uint64_t length = 0;
};

struct PackIndex {
    std::int32_t schema = 0;
    std::string channel;
    std::string version;
    std::vector<PackEntry> packs;
    std::unordered_map<std::string, ChunkLocation> chunks; // chunk hash -> location
};

} // namespace gu::patch
