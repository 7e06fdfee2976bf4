// Feeds arbitrary bytes to TrustAnchor::load as the content of "trust_anchor.json": loading must never
// throw, a loaded anchor lists only paths with at least one hash and has no version without them, and
// whatever it loads survives a save and a second load unchanged.

#include "fuzz/fuzz_support.hpp"
#include "patch/trust_anchor.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

bool well_formed(const gu::patch::TrustAnchor& anchor) {
    for (const auto& [path, hashes] : anchor.files) {
        if (hashes.empty()) {
            return false;
        }
    }
    return !anchor.files.empty() || anchor.version.empty();
}

} // namespace

// The loader keeps the anchor it read last per folder until a save; each input alternates the two
// folders (load the input, save, load the saved copy), so every load below reads its file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& folder = kyrfuzz::scratch_folder();
    kyrtest::write_bytes(folder / "trust_anchor.json", std::string_view(reinterpret_cast<const char*>(data), size));
    const gu::patch::TrustAnchor loaded = gu::patch::TrustAnchor::load(folder);
    kyrfuzz::require(well_formed(loaded));
    loaded.save(folder / "saved");
    const gu::patch::TrustAnchor again = gu::patch::TrustAnchor::load(folder / "saved");
    kyrfuzz::require(again.version == loaded.version && again.files == loaded.files);
    return 0;
}
