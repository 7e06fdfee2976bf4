#pragma once
// Synthetic game folders for end-to-end update tests: generated from a seed (never files of a real
// client), written to disk, read back without the updater's working files, and compared byte for byte.

#include <filesystem>
#include <map>
#include <string>

namespace kyrtest {

// Relative path ("/" separators) -> content.
using GameFiles = std::map<std::string, std::string>;

// Version 1: 1.9 MB in files of several chunks (random and text), nested folders, an empty file, 40 sound
// files. Version 2: 200 bytes of Main.exe edited, a text grown, 30 sounds replaced, 2 dropped, 1 file added.
GameFiles makeGameVersion(int version);

void writeGameFiles(const std::filesystem::path& folder, const GameFiles& files);

// Every regular file below `folder` except the updater's own (patch state, marker, staging, packs, parts).
GameFiles readGameFolder(const std::filesystem::path& folder);

// Empty when `got` holds exactly the files of `want`; otherwise one line per difference.
std::string describeDifferences(const GameFiles& want, const GameFiles& got);

// After a stopped or failed update from `before` to `target`: empty when every file found is whole (its
// content is the one of `before` or of `target`) and no file of `before` is missing.
std::string describeTornFiles(const GameFiles& before, const GameFiles& target, const GameFiles& found);

} // namespace kyrtest
