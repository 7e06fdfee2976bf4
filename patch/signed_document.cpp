#include "patch/signed_document.hpp"

#include "patch/base64.hpp"
#include "patch/ed25519.hpp"
#include "patch/errors.hpp"

namespace gu::patch {

namespace {

constexpr std::size_t kPublicKeySize = 32;
constexpr std::size_t kSignatureSize = 64;

} // namespace

std::string get_signed(Fetcher& fetcher, const std::string& path, std::string_view pubkey_b64) {
    std::string body = fetcher.get(path, kMaxDocumentBytes);
    const std::string sig_text = fetcher.get(path + ".sig", kMaxSignatureBytes);
    const std::string key = base64_decode(pubkey_b64);
    const std::string sig = base64_decode(sig_text);
    if (key.size() != kPublicKeySize || sig.size() != kSignatureSize || !ed25519_verify(sig, body, key)) {
        throw VerifyError("signature verification failed for \"" + path + "\"");
    }
    return body;
}

} // namespace gu::patch
