#pragma once

#include "patch/fetcher.hpp"

#include <string>
#include <string_view>

namespace gu::patch {

// A store document proven by the Ed25519 signature in its ".sig" companion (standard Base64 text).
// The signature covers the exact bytes as served; nothing is trimmed. pubkey_b64 is the 32-byte trust key
// in Base64. The document may hold up to kMaxDocumentBytes, its signature kMaxSignatureBytes. Fetch errors
// propagate; any signature problem is a VerifyError, so callers never parse an unproven document.
std::string get_signed(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64);

} // namespace gu::patch
