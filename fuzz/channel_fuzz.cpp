// Feeds arbitrary bytes to the channel parser. A ManifestError is the documented answer to bad input;
// any other exception escapes and ends the run as a finding, like a crash or a leak.

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        gu::patch::parse_channel(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const gu::patch::ManifestError&) {
    }
    return 0;
}
