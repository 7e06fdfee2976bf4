#pragma once
// Turns the game's files into manifest entries: one reader splits the files in manifest order (so the
// result is the same for any thread count), and a pool of workers hashes, compresses and stores the
// chunks. Memory stays at a few chunks per worker whatever the size of the game.

#include "tools/kyr-store/chunker.hpp"
#include "tools/kyr-store/game_folder.hpp"

#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace kyrstore {

struct ChunkingOptions {
    std::filesystem::path store;
    int level = 9;
    unsigned threads = 1;
    ChunkSizes sizes = kDefaultChunkSizes;
    // (bytes done, bytes in all), called on the calling thread, at most about ten times a second.
    std::function<void(std::uint64_t, std::uint64_t)> progress;
};

struct ChunkingStats {
    std::uint64_t chunk_uses = 0;    // chunk entries over all files
    std::uint64_t distinct = 0;      // distinct chunk hashes
    std::uint64_t written = 0;       // objects the store did not have
    std::uint64_t reused = 0;        // objects already in the store
    std::uint64_t repaired = 0;      // damaged objects written anew
    std::uint64_t stored_bytes = 0;  // sum of "z" over the distinct chunks
    std::uint64_t written_bytes = 0; // compressed bytes written
};

// The manifest entries of `files`, in the same order, with every chunk object in the store. Throws
// std::runtime_error on any failure (a file that changes size while it is read included).
std::vector<gu::patch::ManifestFile> chunk_game_files(const std::vector<GameFile>& files,
                                                      const ChunkingOptions& options, ChunkingStats& stats);

} // namespace kyrstore
