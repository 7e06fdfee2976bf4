#pragma once
// Parsing and checking of the patch store's documents. Pure functions of the text and the expected
// values: no I/O. Every failure is a ManifestError; no partial record is ever returned.

#include "patch/store_records.hpp"

#include <string_view>

namespace gu::patch {

Channel parse_channel(std::string_view text);

// Structure only: schema, product, platform, paths and sizes are left to validate_manifest.
Manifest parse_manifest(std::string_view text);

// The semantic checks of a parsed manifest, in a fixed order; the first failure throws. Every file path
// must pass installed_path_problem, and no two may name the same file on Windows (PathClashes).
void validate_manifest(const Manifest& manifest, std::string_view expected_product, std::string_view expected_platform);

// Structure and every check, the schema included.
PackIndex parse_pack_index(std::string_view text);

} // namespace gu::patch
