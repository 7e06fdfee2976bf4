#pragma once
// Parsing and checking of the patch store's documents. Pure functions of the text and the expected
// values: no I/O. Every failure is a ManifestError; no partial record is ever returned.

#include "patch/store_records.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

namespace gu::patch {

// "serial" is read like every count; "expires" must be a time as utc_time.hpp writes it.
Channel parse_channel(std::string_view text);

// Refuses (ManifestError) a channel older than `highest_accepted`, the newest serial this installation
// accepted for the channel (nullopt: none yet), one without a serial once a serial was accepted, and
// one whose expiry is not after `now` (seconds since 1970, UTC).
void check_channel_freshness(const Channel& channel, std::optional<std::uint64_t> highest_accepted,
                             std::int64_t now);

// Structure only: schema, product, platform, paths and sizes are left to validate_manifest.
Manifest parse_manifest(std::string_view text);

// The semantic checks of a parsed manifest, in a fixed order; the first failure throws. Every file path
// must pass installed_path_problem, and no two may name the same file on Windows (PathClashes).
void validate_manifest(const Manifest& manifest, std::string_view expected_product, std::string_view expected_platform);

// Structure and every check, the schema included.
PackIndex parse_pack_index(std::string_view text);

// Where the index holds the chunk, or nothing: a location of another length than the manifest's is not
// the chunk.
const ChunkLocation* pack_location(const PackIndex& index, const ManifestChunk& chunk);

} // namespace gu::patch
