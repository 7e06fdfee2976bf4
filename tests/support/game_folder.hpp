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
    bool largeFiles = true;    // false: the large files at a sixteenth of their size, for tests that copy many games
    unsigned soundFiles = 20;  // small files of 4 to 40 KiB
    unsigned soundChanges = 3; // sound files that the next version replaces; more make a longer commit
    unsigned soundDrops = 0;   // sound files that the next version no longer lists (the last ones)
};

// About 2.2 MB plus the sound files: incompressible and text files of several chunks each, nested
// folders, an empty file. The same shape always gives the same bytes.
GameFiles makeGameFiles(const GameShape& shape);

// The next version of a game of that shape: one large file edited in place, one text file grown at its
// end, shape.soundChanges sound files replaced, shape.soundDrops sound files dropped, one file added;
// everything else unchanged.
GameFiles nextGameVersion(const GameFiles& previous, const GameShape& shape);

void writeGameFiles(const std::filesystem::path& folder, const GameFiles& files);

// Every regular file below `folder` except the updater's own: its working files and folders at the root
// (patch state, marker, staging, pack cache) and its ".updpart" companions anywhere.
GameFiles readGameFolder(const std::filesystem::path& folder);

// Empty when `got` holds exactly the files of `want`; otherwise one line per difference.
std::string describeDifferences(const GameFiles& want, const GameFiles& got);

// After an interrupted or failed update from `before` to `target`: empty when every file found is whole
// (its content is the one of `before` or of `target`) and no file of `before` is missing; otherwise one
// line per torn, foreign or lost file.
std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found);

// After a transactional update from `before` to `target` was stopped: once its commit has moved one changed
// file into place, every changed file must be in place or staged complete below root/".updstage", since
// nothing is moved before the whole update was assembled and verified. Empty when that holds (or the
// commit had not begun); otherwise one line per file that is neither.
std::string describeUnstagedFiles(const std::filesystem::path& root, const GameFiles& before,
                                  const GameFiles& target);

std::uint64_t totalSize(const GameFiles& files);

} // namespace kyrtest
