// Feeds arbitrary bytes to PatchState::load as the content of "patchstate.json": loading must never
// throw, and whatever it loads must survive a save and a second load unchanged.

#include "fuzz/fuzz_support.hpp"
#include "patch/patch_state.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& folder = kyrfuzz::scratch_folder();
    kyrtest::write_bytes(folder / "patchstate.json", std::string_view(reinterpret_cast<const char*>(data), size));
    const gu::patch::PatchState loaded = gu::patch::PatchState::load(folder);
    loaded.save(folder / "saved");
    const gu::patch::PatchState again = gu::patch::PatchState::load(folder / "saved");
    kyrfuzz::require(again.version == loaded.version && again.files == loaded.files && again.apk_sha == loaded.apk_sha);
    return 0;
}
