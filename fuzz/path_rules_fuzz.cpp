// The name rules for paths from signed store documents, on arbitrary text. A manifest path they accept
// holds no Windows separator, drive or stream colon and stays below the installation root once joined to
// it and normalised, and every path made only of ordinary name segments is accepted; a pack name they
// accept is one name directly in the pack folder. A path accepted as an installed file is also safe, and
// none of the updater's own.

#include "fuzz/fuzz_support.hpp"
#include "patch/path_rules.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

// Whether `path`, joined to `folder` and normalised, is the folder itself or lies below it.
bool stays_within(const fs::path& folder, std::string_view path) {
    const fs::path relative = (folder / fs::path(std::string(path))).lexically_normal().lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

bool ordinary_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == ' ';
}

// Segments of letters, digits, blanks, "_" and "-", joined by single "/": the paths every game has.
bool ordinary_path(std::string_view path) {
    bool segmentEmpty = true;
    for (const char c : path) {
        if (c == '/') {
            if (segmentEmpty) {
                return false;
            }
            segmentEmpty = true;
        } else if (ordinary_character(c)) {
            segmentEmpty = false;
        } else {
            return false;
        }
    }
    return !segmentEmpty;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (gu::patch::is_safe_relative_path(text)) {
        kyrfuzz::require(text.find_first_of(std::string_view(":\\\0", 3)) == std::string_view::npos);
        kyrfuzz::require(text.front() != '/');
        kyrfuzz::require(stays_within("/game", text));
    }
    if (ordinary_path(text)) {
        kyrfuzz::require(gu::patch::is_safe_relative_path(text));
    }

    // The stricter rule for installed files never lets through what the first refuses, nor the updater's own.
    if (gu::patch::installed_path_problem(text).empty()) {
        kyrfuzz::require(gu::patch::is_safe_relative_path(text) && !gu::patch::is_updater_file(text));
    }

    if (gu::patch::is_safe_pack_name(text)) {
        kyrfuzz::require(text.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos);
        const fs::path joined = (fs::path("/packs") / fs::path(std::string(text))).lexically_normal();
        kyrfuzz::require(joined == "/packs/" || joined.parent_path() == "/packs");
    }
    return 0;
}
