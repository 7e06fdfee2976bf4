#pragma once
// Checking a store without installing it: every document's signature, the chunk objects of the current
// manifests (or of every manifest), and every pack of the pack indexes with each chunk range in it. Each
// object is read once, on several threads; a chunk whose object and pack range hold the same bytes is
// decompressed and hashed once.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kyrstore {

struct VerifyOptions {
    std::filesystem::path store_dir;
    bool all = false;       // the objects of every manifest, not only of the ones the channels name
    std::string pubkey_b64; // empty: signatures are not checked
    unsigned threads = 0;   // 0: as many as the machine's cores are worth
};

struct VerifyObserver {
    std::function<void(const std::string&)> problem;            // one line naming the object, as found
    std::function<void(std::uint64_t, std::uint64_t)> progress; // (bytes done, bytes in all) while reading objects
};

struct VerifySummary {
    std::vector<std::string> problems;
    std::uint64_t documents = 0;
    std::uint64_t manifests = 0; // whose objects were checked
    std::uint64_t chunk_objects = 0;
    std::uint64_t packs = 0;
    std::uint64_t ranges = 0;
    std::uint64_t bytes_read = 0;
    std::chrono::milliseconds duration{0};
};

// Reports problems rather than throwing; throws std::runtime_error only when the store folder is not a store.
VerifySummary verify_store(const VerifyOptions& options, const VerifyObserver& observer);

} // namespace kyrstore
