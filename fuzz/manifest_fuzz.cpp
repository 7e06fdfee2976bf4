// Feeds arbitrary bytes to the manifest parser and, when it parses, to the validation, with the product
// and platform the launcher expects. A ManifestError is the documented answer to bad input; any other
// exception escapes and ends the run as a finding, like a crash or a leak. A manifest that passes the
// validation is one the update run can trust: its own product and platform, every path safe below the
// root, every file exactly covered by its chunks.

#include "fuzz/fuzz_support.hpp"
#include "patch/errors.hpp"
#include "patch/path_rules.hpp"
#include "patch/store_documents.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool trustworthy(const gu::patch::Manifest& manifest) {
    if (manifest.schema != 1 || manifest.product != "valdra7q" || manifest.platform != "windows-x86") {
        return false;
    }
    for (const gu::patch::ManifestFile& file : manifest.files) {
        if (!gu::patch::is_safe_relative_path(file.path)) {
            return false;
        }
        std::uint64_t left = file.size;
        for (const gu::patch::ManifestChunk& chunk : file.chunks) {
            if (chunk.n > left) {
                return false;
            }
            left -= chunk.n;
        }
        if (left != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const gu::patch::Manifest manifest =
            gu::patch::parse_manifest(std::string_view(reinterpret_cast<const char*>(data), size));
        gu::patch::validate_manifest(manifest, "valdra7q", "windows-x86");
        kyrfuzz::require(trustworthy(manifest));
    } catch (const gu::patch::ManifestError&) {
    }
    return 0;
}
