// get_signed on documents and ".sig" texts that are arbitrary or edited from a genuine pair (bits flipped,
// bytes inserted or cut, blanks and "=" added to the signature text, S replaced by S + L). The only pairs
// it may accept are the genuine document with its signature's bytes (however they are spelled in Base64)
// or with the one other S that the documented rule admits (S + L, when below 2^253); those it must
// accept. Every refusal is the VerifyError that names the path.

#include "fuzz/fuzz_support.hpp"
#include "patch/base64.hpp"
#include "patch/errors.hpp"
#include "patch/signed_document.hpp"
#include "support/test_signer.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr char kPath[] = "v1/channels/windows.json";
constexpr char kDocument[] =
    R"({"schema":1,"product":"valdra7q","channel":"windows","platform":"windows-x86","latest":"1.4.0"})";
// The group order L, little-endian.
constexpr std::array<std::uint8_t, 32> kOrder = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                                 0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                                 0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};

class TwoObjects : public gu::patch::Fetcher {
public:
    TwoObjects(std::string document, std::string signature)
        : document_(std::move(document)), signature_(std::move(signature)) {}

    std::string get(const std::string& path, std::uint64_t) override { return path == kPath ? document_ : signature_; }
    void download(const std::string&, const std::string&) override { std::abort(); }
    void download_from(const std::string&, const std::string&, std::uint64_t) override { std::abort(); }

private:
    std::string document_;
    std::string signature_;
};

struct Genuine {
    std::string publicKey; // Base64
    std::string signature; // raw 64 bytes
    std::string malleated; // R and S + L, or empty when S + L reaches 2^253
};

// S + L over the signature's second half.
std::string with_s_plus_l(const std::string& signature) {
    std::string result = signature;
    unsigned carry = 0;
    for (std::size_t i = 0; i < 32; ++i) {
        const unsigned sum = static_cast<std::uint8_t>(signature[32 + i]) + kOrder[i] + carry;
        result[32 + i] = static_cast<char>(sum & 0xFF);
        carry = sum >> 8;
    }
    const bool below_2_253 = carry == 0 && (static_cast<std::uint8_t>(result[63]) & 0xE0) == 0;
    return below_2_253 ? result : std::string();
}

const Genuine& genuine() {
    static const Genuine pair = [] {
        std::array<std::uint8_t, 32> seed{};
        for (std::size_t i = 0; i < seed.size(); ++i) {
            seed[i] = static_cast<std::uint8_t>(7 * i + 1);
        }
        const kyrtest::TestSigner signer(seed);
        Genuine made;
        made.publicKey = signer.public_key_base64();
        made.signature = signer.sign(kDocument);
        made.malleated = with_s_plus_l(made.signature);
        return made;
    }();
    return pair;
}

// Applies edits chosen by the input to the genuine document and signature text.
void edit(FuzzedDataProvider& input, std::string& document, std::string& signatureText) {
    const unsigned edits = input.ConsumeIntegralInRange<unsigned>(0, 4);
    for (unsigned e = 0; e < edits; ++e) {
        std::string& target = input.ConsumeBool() ? document : signatureText;
        const std::size_t at = input.ConsumeIntegralInRange<std::size_t>(0, target.size());
        switch (input.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
            if (at < target.size()) {
                target[at] = static_cast<char>(target[at] ^ (1 << input.ConsumeIntegralInRange<int>(0, 7)));
            }
            break;
        case 1:
            target.insert(at, 1, input.ConsumeIntegral<char>());
            break;
        case 2:
            target.insert(at, 1, " \t\r\n="[input.ConsumeIntegralInRange<int>(0, 4)]);
            break;
        case 3:
            target.erase(at, 1);
            break;
        default:
            if (!genuine().malleated.empty()) {
                signatureText = kyrtest::base64_encode(genuine().malleated);
            }
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::string document = kDocument;
    std::string signatureText = kyrtest::base64_encode(genuine().signature);
    if (input.ConsumeBool()) {
        edit(input, document, signatureText);
    } else {
        signatureText = input.ConsumeRandomLengthString(120);
        document = input.ConsumeRemainingBytesAsString();
    }

    const std::string signature = gu::patch::base64_decode(signatureText);
    const bool admissible =
        document == kDocument &&
        (signature == genuine().signature || (!genuine().malleated.empty() && signature == genuine().malleated));
    TwoObjects store(document, signatureText);
    try {
        kyrfuzz::require(gu::patch::get_signed(store, kPath, genuine().publicKey) == document);
        kyrfuzz::require(admissible);
    } catch (const gu::patch::VerifyError& e) {
        kyrfuzz::require(!admissible);
        kyrfuzz::require(std::string(e.what()) == std::string("signature verification failed for \"") + kPath + "\"");
    }
    return 0;
}
