#include "patch/signed_document.hpp"

#include "patch/base64.hpp"
#include "patch/ed25519.hpp"
#include "patch/errors.hpp"

namespace gu::patch {

namespace {

constexpr std::size_t kPublicKeySize = 32;
constexpr std::size_t kSignatureSize = 64;

} // namespace

bool signature_holds(std::string_view text, std::string_view signature_b64, std::string_view pubkey_b64) {
    const std::string key = base64_decode(pubkey_b64);
    const std::string sig = base64_decode(signature_b64);
    return key.size() == kPublicKeySize && sig.size() == kSignatureSize && ed25519_verify(sig, text, key);
}

SignedDocument get_signed_document(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64,
                                   std::uint64_t max_bytes) {
    SignedDocument document;
    document.text = fetcher.get(path, max_bytes);
    document.signature = fetcher.get(path + ".sig", kMaxSignatureBytes);
    if (!signature_holds(document.text, document.signature, pubkey_b64)) {
        throw VerifyError("signature verification failed for \"" + path + "\"");
    }
    return document;
}

std::string get_signed(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64,
                       std::uint64_t max_bytes) {
    return get_signed_document(fetcher, path, pubkey_b64, max_bytes).text;
}

} // namespace gu::patch
