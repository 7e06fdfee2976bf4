#pragma once
// What the fuzz targets share: the check that turns a broken property into a finding, and a folder of
// their own for targets whose parser reads a file.

#include "support/scratch_folder.hpp"

#include <cstdlib>

namespace kyrfuzz {

// Ends the run as a finding (libFuzzer keeps the input) when a property does not hold.
inline void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// One folder per fuzzing process, with a random name so that parallel jobs never share files; removed
// when the fuzzer exits.
inline const std::filesystem::path& scratch_folder() {
    static const kyrtest::ScratchFolder folder;
    return folder.path();
}

} // namespace kyrfuzz
