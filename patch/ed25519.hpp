#pragma once

#include <string_view>

namespace gu::patch {

// Ed25519 verification, cofactorless. S is only required to be below 2^253 (not below the group order),
// and the key gets no canonical-encoding or small-order check. Wrong lengths are rejected.
bool ed25519_verify(std::string_view signature, std::string_view message, std::string_view public_key);

} // namespace gu::patch
