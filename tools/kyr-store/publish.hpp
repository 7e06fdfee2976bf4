#pragma once
// One publish: a game folder becomes a new version of a channel in a store folder. Order of writes:
// chunk objects, packs, pack index, manifest, and the channel last, since it is the pointer that clients
// follow; each document with its ".sig". Until the channel is replaced, clients see the previous version
// complete; a failed publish leaves only unreferenced objects behind.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kyrstore {

inline constexpr std::uint64_t kDefaultPackSize = 32ULL * 1024 * 1024;
// Level 9: on 100 MB of shared libraries (two busy cores) it took 4 s for 30.5 MiB where level 19 took 62 s
// for 28.6 MiB. Chunks are at most 256 KiB, so the long match windows of the high levels never pay off.
inline constexpr int kDefaultLevel = 9;

struct PublishOptions {
    std::filesystem::path key_file;
    std::filesystem::path game_dir;
    std::filesystem::path store_dir;
    std::string version;
    std::string product = "valdra7q";
    std::string channel = "windows";
    std::string platform = "windows-x86";
    bool flat_manifest = false;
    std::vector<std::string> preserve;
    std::uint64_t pack_size = kDefaultPackSize;
    int level = kDefaultLevel;
    unsigned threads = 0; // 0: one per hardware thread
    std::optional<std::uint64_t> expires_days; // the channel expires this many days after the publish
};

struct PublishObserver {
    std::function<void(const std::string&)> notice;             // warnings that do not stop the publish
    std::function<void(const std::string&)> step;               // the phase that begins
    std::function<void(std::uint64_t, std::uint64_t)> progress; // (bytes done, bytes in all) while chunking
};

struct PublishSummary {
    std::string public_key;
    std::string manifest_path; // store paths, "/" separators
    std::string channel_path;
    std::string pack_index_path;
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t chunk_uses = 0;
    std::uint64_t chunks = 0;         // distinct
    std::uint64_t chunks_written = 0; // new objects, damaged ones rewritten included
    std::uint64_t chunks_reused = 0;
    std::uint64_t chunks_repaired = 0;
    std::uint64_t compressed_bytes = 0; // sum of "z" over the distinct chunks
    std::uint64_t written_bytes = 0;    // compressed bytes of the new objects
    std::uint64_t packs = 0;
    std::uint64_t packs_written = 0;
    std::uint64_t pack_bytes = 0;
    std::chrono::milliseconds duration{0};
    std::uint64_t serial = 0; // of the channel written
    std::string expires;      // of the channel written; empty: never
};

inline constexpr std::uint64_t kMaxExpiresDays = 36500;

inline constexpr std::uint64_t kMinPackSize = 64 * 1024;
inline constexpr std::uint64_t kMaxPackSize = 4ULL * 1024 * 1024 * 1024;
inline constexpr unsigned kMaxThreads = 256;

// What is wrong with the options before anything is read (names, patterns, ranges), or empty.
std::string option_problem(const PublishOptions& options);
std::string expires_problem(std::optional<std::uint64_t> expires_days);

// Throws std::runtime_error with a message for the operator; nothing of the documents is written when it
// fails before the documents' phase (an unsafe file name, a bad option, another publish running, ...).
PublishSummary publish(const PublishOptions& options, const PublishObserver& observer);

// Re-signs the current channel of a store: the same version, the serial one higher and a new expiry, so
// that a channel with an expiry stays valid without a new version. Takes the publisher's lock.
struct ResignOptions {
    std::filesystem::path key_file;
    std::filesystem::path store_dir;
    std::string channel = "windows";
    std::optional<std::uint64_t> expires_days; // none: the channel no longer expires
};

struct ResignSummary {
    std::string channel_path;
    std::string latest;
    std::uint64_t serial = 0;
    std::string expires; // empty: never
};

std::string resign_problem(const ResignOptions& options);

// Throws std::runtime_error with a message for the operator; the channel stays as it was then.
ResignSummary resign(const ResignOptions& options, const std::function<void(const std::string&)>& notice);

// Store paths of the documents.
std::string manifest_store_path(const std::string& platform, const std::string& version, bool flat);
std::string channel_store_path(const std::string& channel);
std::string pack_index_store_path(const std::string& channel);

} // namespace kyrstore
