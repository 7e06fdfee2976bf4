// Feeds arbitrary bytes to PatchState::load as the content of "patchstate.json": loading must never
// throw, and whatever it loads must survive a save and a second load unchanged.

#include "patch/patch_state.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path g_folder;

void remove_folder() {
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
}

} // namespace

// A random folder name, so parallel fuzzing jobs never share files.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::random_device random;
    g_folder = fs::temp_directory_path() /
               ("kyr_patch_state_fuzz_" + std::to_string(random()) + "_" + std::to_string(random()));
    fs::create_directories(g_folder / "saved");
    std::atexit(remove_folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(g_folder / "patchstate.json", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const gu::patch::PatchState loaded = gu::patch::PatchState::load(g_folder);
    loaded.save(g_folder / "saved");
    const gu::patch::PatchState again = gu::patch::PatchState::load(g_folder / "saved");
    if (again.version != loaded.version || again.files != loaded.files || again.apk_sha != loaded.apk_sha) {
        std::abort();
    }
    return 0;
}
