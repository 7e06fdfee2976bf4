#pragma once
// Packs: concatenations of chunk objects, so that an installation downloads a few large files instead of
// thousands of small ones. A version's packs hold every distinct chunk of that version once, in manifest
// order of first use, so each pack serves a run of consecutive files (the updater deletes a pack after its
// last consumer file).
//
// Pack boundaries are content-defined over the chunk sequence: after the first half of the target size, a
// chunk ends its pack with a probability proportional to its stored size, decided by its hash. A change in
// one file therefore changes only the packs around it; the others come out byte for byte as before, and
// since a pack is named by its SHA-256 ("<sha256>.pack"), the next version re-uses them.

#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kyrstore {

struct PackedChunk {
    std::string h;
    std::uint64_t z = 0;
};

// Each distinct chunk once, in the order of its first use (files in order, chunks in file order).
std::vector<PackedChunk> chunks_in_first_use_order(const std::vector<gu::patch::ManifestFile>& files);

// Where each pack ends (exclusive indexes into `chunks`). Packs average about `target` bytes, hold at least
// half of it (except the last) and never pass twice the target unless one chunk alone does.
std::vector<std::size_t> plan_pack_ends(const std::vector<PackedChunk>& chunks, std::uint64_t target);

struct PackSet {
    std::vector<gu::patch::PackEntry> packs;
    std::vector<std::pair<std::string, gu::patch::ChunkLocation>> locations; // in pack order
    std::uint64_t written = 0;                                               // packs the store did not have
    std::uint64_t reused = 0;                                                // packs already present and sound
    std::uint64_t total_bytes = 0;
    std::uint64_t written_bytes = 0;
};

// Builds the packs of `chunks` in the store's "v1/packs/" from the chunk objects already there. Throws
// std::runtime_error when an object is missing or not of its recorded size.
PackSet write_packs(const std::filesystem::path& store, const std::vector<PackedChunk>& chunks, std::uint64_t target);

} // namespace kyrstore
