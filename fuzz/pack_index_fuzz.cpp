// Feeds arbitrary bytes to the pack index parser, then checks what every accepted index promises: each
// location names an existing pack and lies inside it. A ManifestError is the documented answer to bad
// input; any other exception escapes and ends the run as a finding.

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const gu::patch::PackIndex index =
            gu::patch::parse_pack_index(std::string_view(reinterpret_cast<const char*>(data), size));
        for (const auto& [hash, location] : index.chunks) {
            if (location.pack >= index.packs.size()) {
                std::abort();
            }
            const std::uint64_t pack_size = index.packs[location.pack].size;
            if (location.length == 0 || location.offset > pack_size || location.length > pack_size - location.offset) {
                std::abort();
            }
        }
    } catch (const gu::patch::ManifestError&) {
    }
    return 0;
}
