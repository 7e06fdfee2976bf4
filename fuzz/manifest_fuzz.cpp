// Feeds arbitrary bytes to the manifest parser and, when it parses, to the validation, with the product
// and platform the launcher expects. A ManifestError is the documented answer to bad input; any other
// exception escapes and ends the run as a finding, like a crash or a leak.

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const gu::patch::Manifest manifest =
            gu::patch::parse_manifest(std::string_view(reinterpret_cast<const char*>(data), size));
        gu::patch::validate_manifest(manifest, "valdra7q", "windows-x86");
    } catch (const gu::patch::ManifestError&) {
    }
    return 0;
}
