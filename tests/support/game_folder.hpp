#pragma once
// Synthetic game folders for end-to-end update tests: generated from a seed (never files of a real
// client), written to disk, read back without the updater's working files, and compared byte for byte.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace kyrtest {

// Relative path ("/" separators) -> content.
using GameFiles = std::map<std::string, std::string>;

struct GameShape {
    std::uint64_t seed = 1;
    unsigned soundFiles = 40;   // small files of 4 to 40 KiB
    unsigned soundChanges = 30; // sound files that the next version replaces: a commit of many moves
    unsigned soundDrops = 2;    // sound files that the next version no longer lists (the last ones)
};

// About 1.8 MB of large files of several chunks each (random and text), nested folders, an empty file,
// plus the sound files. The same shape always gives the same bytes.
GameFiles makeGameFiles(const GameShape& shape);

// The next version: 200 bytes of Main.exe edited in place, a text file grown at its end, sound files
// replaced and dropped as the shape says, one file added; everything else unchanged.
GameFiles nextGameVersion(const GameFiles& previous, const GameShape& shape);

void writeGameFiles(const std::filesystem::path& folder, const GameFiles& files);

// Every regular file below `folder` except the updater's own (patch state, marker, staging, pack cache,
// ".updpart" companions).
GameFiles readGameFolder(const std::filesystem::path& folder);

// Empty when `got` holds exactly the files of `want`; otherwise one line per difference.
std::string describeDifferences(const GameFiles& want, const GameFiles& got);

// After a stopped or failed update from `before` to `target`: empty when every file found is whole (its
// content is the one of `before` or of `target`) and no file of `before` is missing.
std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found);

// After a stopped transactional update: once its commit moved one changed file into place, every changed
// file must be in place or staged complete below root/".updstage" (nothing moves before all was verified).
std::string describeUnstagedFiles(const std::filesystem::path& root, const GameFiles& before,
                                  const GameFiles& target);

} // namespace kyrtest
