#pragma once

#include "patch/fetcher.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace gu::patch {

// A store document as served and the text of its ".sig" companion (standard Base64 of the Ed25519
// signature over the exact bytes).
struct SignedDocument {
    std::string text;
    std::string signature;
};

// Whether `signature_b64` is the signature of exactly `text` by the 32-byte key `pubkey_b64` (Base64).
// Nothing is trimmed; a key or signature of the wrong length is simply not a match.
bool signature_holds(std::string_view text, std::string_view signature_b64, std::string_view pubkey_b64);

// A store document proven by the Ed25519 signature in its ".sig" companion. The document may hold up to
// max_bytes, its signature kMaxSignatureBytes. Fetch errors propagate; any signature problem is a
// VerifyError, so callers never parse an unproven document.
SignedDocument get_signed_document(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64,
                                   std::uint64_t max_bytes = kMaxDocumentBytes);

// The same, when only the document is wanted.
std::string get_signed(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64,
                       std::uint64_t max_bytes = kMaxDocumentBytes);

} // namespace gu::patch
