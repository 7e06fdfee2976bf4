#pragma once
// The common ground of the updater's end-to-end tests: two versions of a synthetic game published by the
// real kyr-store program.

#include "support/game_folder.hpp"

#include <filesystem>
#include <string>

namespace kyrtest {

// Below served: "one/" is a store holding version "1.0.0"; "two/" holds "1.0.0" and then "2.0.0",
// published one after the other as an operator would, in packs of 256 KiB (an update needs several).
// Published once for the whole test program, removed at exit. Throws with kyr-store's message.
struct UpdateScenario {
    GameFiles version1 = makeGameVersion(1);
    GameFiles version2 = makeGameVersion(2);
    std::string publicKey;
    std::filesystem::path served;
    std::filesystem::path storeOne() const { return served / "one"; }
    std::filesystem::path storeTwo() const { return served / "two"; }
};
const UpdateScenario& sharedScenario(const std::string& kyrStoreProgram);

} // namespace kyrtest
