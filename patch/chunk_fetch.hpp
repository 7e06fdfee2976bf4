#pragma once
// Verified retrieval of one content-addressed chunk from the cheapest place that has it: bytes already
// installed in the game folder, a pack streaming in, or the chunk's own store object (fetched ahead by the
// prefetch pool, or here).
// fetch_chunk returns only bytes whose SHA-256 equals the chunk's name; a file being assembled may leave
// that check to the file's own hash (ChunkCheck).

#include "patch/range_reader.hpp"
#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace gu::patch {

class PrefetchPool;

using LogLine = std::function<void(const std::string&)>;

// Store path of a chunk object: "v1/chunks/" + h[0..2) + "/" + h + ".zst". VerifyError for fewer than two
// characters.
std::string chunk_path(std::string_view h);

// A place in an installed file expected to hold a chunk's uncompressed bytes.
struct LocalChunkRef {
    std::string path; // relative to the game folder, "/" as separator
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

using LocalChunkMap = std::unordered_map<std::string, LocalChunkRef>;  // chunk hash -> place
using ChunkSet = std::unordered_set<std::string>;                      // chunk hashes

// The run's packs as fetch_chunk sees them: chunks taken out of packs as they stream in.
class PackChunks {
public:
    // Whether the chunk may still come from its pack: the prefetch pool leaves those chunks alone.
    virtual bool will_deliver(const std::string& hash) = 0;
    // The chunk's compressed bytes as its pack delivered them, once, waiting for them to arrive; nothing
    // when its pack does not deliver them (none of the run's packs, demoted, or taken already).
    virtual std::optional<std::string> take(const std::string& hash) = 0;

protected:
    ~PackChunks() = default;
};

// The retrying get of single chunk objects.
class ChunkObjects {
public:
    // Whole store object at path, retried on FetchError; may_wait allows waiting for an unreachable store.
    // LocalWriteError is never retried. A body of another size than expected_size (a connection dropped
    // mid-body ends the body silently) counts as a failed attempt.
    virtual std::string retry_fetch(const std::string& path, std::uint64_t expected_size, bool may_wait,
                                    const LogLine& log_line) = 0;

protected:
    ~ChunkObjects() = default;
};

// Chunks of files that are being written and not installed yet (the file phase's parts).
class HeldChunks {
public:
    // Appends the chunk's bytes, checked against its hash; false (buffer unchanged) when they cannot be had.
    virtual bool append(const ManifestChunk& chunk, std::string& buffer) = 0;

protected:
    ~HeldChunks() = default;
};

// References into the run's own counters (RunResult), shared with the pack downloader.
struct ChunkCounters {
    std::uint32_t& chunks_obtained;  // distinct chunks obtained from a pack or the store
    std::uint64_t& bytes_downloaded; // compressed bytes transferred
};

// Everything fetch_chunk consults; owned by the update run, which outlives every call.
struct ChunkFetchContext {
    LocalChunkMap& local_chunks;
    const std::filesystem::path& game_dir;
    // Chunks of the previous version's files, below the installation root (which differs from game_dir
    // while a transactional run stages its files). Consulted right after local_chunks, by the same rule.
    LocalChunkMap& previous_chunks;
    const std::filesystem::path& previous_dir;
    PackChunks* packs; // none without packs
    ChunkSet& verified_chunks;
    ChunkCounters stats;
    ChunkObjects& retry_fetch;
    const LogLine& log;
    // Reads installed files and packs; the run releases a file here before replacing or deleting it.
    RangeReader& files;
    // Consulted right after local_chunks; none outside the file phase.
    HeldChunks* held = nullptr;
    // Fetches the run's chunk objects ahead of the files; none outside the file phase.
    PrefetchPool* prefetch = nullptr;
};

// The uncompressed, verified bytes of one chunk. Installed bytes and packs are tried opportunistically and
// fail silently; only the per-chunk object can fail the chunk (VerifyError, FetchError, LocalWriteError).
// Runs on one thread: it changes the context's maps and counters without locking.
std::string fetch_chunk(ChunkFetchContext& context, const ManifestChunk& chunk);

// How append_chunk treats the bytes it downloads (a pack's, a chunk object's) and those of the previous
// version's files. The file phase hashes every assembled file anyway, and hashing each such chunk on its
// own as well costs a third of an install's processor time: the file's hash decides, before the file
// takes its name. When it differs, the file is assembled again with every chunk checked alone, so the
// outcome is the same either way.
enum class ChunkCheck { checked_alone, checked_with_their_file };

// Where appended bytes came from: checked against the chunk's own hash, or left to the file's hash:
// downloaded (their bytes counted, the chunk neither counted nor recorded as verified until
// count_downloaded_chunk) or the previous version's.
enum class ChunkSource { checked, download_unchecked, previous_unchecked };

// The same, appended to buffer (unchanged when the chunk fails): a file is assembled in place.
ChunkSource append_chunk(ChunkFetchContext& context, const ManifestChunk& chunk, std::string& buffer,
                         ChunkCheck chunk_check = ChunkCheck::checked_alone);

// Counts a downloaded chunk as obtained at its first verification, alone or with the file it is part of.
// The bytes it took were counted as they arrived.
void count_downloaded_chunk(ChunkFetchContext& context, const std::string& hash);

} // namespace gu::patch
