// Known answers for the engine's hashes and signatures, for the builds that have no reference library to
// compare with (32-bit, Windows): each hash engine this CPU runs, and RFC 8032 signatures from the test
// signer checked by the engine's verification.

#include "patch/base64.hpp"
#include "patch/detail/sha256_blocks.hpp"
#include "patch/detail/sha512.hpp"
#include "patch/ed25519.hpp"
#include "patch/sha256.hpp"
#include "support/test_signer.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace gu::patch;

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string hex_of(const std::string& bytes) {
    return to_hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(Crypto, HashesGiveTheKnownDigestsAroundThePaddingBoundaries) {
    struct Case {
        std::string message;
        const char* sha256;
        const char* sha512_start; // its first 32 hex digits
    };
    const Case cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "ddaf35a193617abacc417349ae204131"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318", ""},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a", ""},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb", ""},
        {std::string(111, 'a'), "", "fa9121c7b32b9e01733d034cfc78cbf6"},
        {std::string(112, 'a'), "", "c01d080efd492776a1c43bd23dd99d0a"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
         "e718483d0ce769644e2e42c7bc15b463"},
    };
    std::vector<detail::Sha256Blocks> engines{&detail::sha256_portable_blocks};
    if (const detail::Sha256Blocks x86 = detail::sha256_x86_blocks()) {
        engines.push_back(x86);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.size());
        for (const detail::Sha256Blocks blocks : engines) {
            Sha256 hasher(blocks);
            hasher.update(c.message.substr(0, 7)); // a piece, then the rest
            hasher.update(c.message.substr(std::min<std::size_t>(7, c.message.size())));
            const auto digest = hasher.finish();
            EXPECT_EQ(*c.sha256 == '\0' ? "" : to_hex(digest.data(), digest.size()), c.sha256);
        }
        EXPECT_EQ(*c.sha512_start == '\0' ? "" : to_hex(detail::sha512(c.message).data(), 16), c.sha512_start);
    }
}

TEST(Crypto, SignaturesOfTheTestSignerAreTheRfcOnesAndVerifyOnlyForTheirMessage) {
    struct Case {
        const char* seed;
        std::string message;
        const char* public_key;
        const char* signature;
    };
    // RFC 8032, section 7.1, tests 1 and 2.
    const Case cases[] = {
        {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60", "",
         "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f05"
         "95bbe24655141438e7a100b"},
        {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb", from_hex("72"),
         "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c",
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eae"
         "b4302aeeb00d291612bb0c00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.public_key);
        std::array<std::uint8_t, 32> seed{};
        const std::string seed_bytes = from_hex(c.seed);
        std::copy(seed_bytes.begin(), seed_bytes.end(), seed.begin());
        const kyrtest::TestSigner signer(seed);
        EXPECT_EQ(hex_of(signer.public_key()), c.public_key);
        EXPECT_EQ(hex_of(signer.sign(c.message)), c.signature);
        EXPECT_EQ(base64_decode(signer.sign_base64(c.message)), signer.sign(c.message));
        EXPECT_TRUE(ed25519_verify(from_hex(c.signature), c.message, from_hex(c.public_key)));
        EXPECT_FALSE(ed25519_verify(from_hex(c.signature), c.message + "!", from_hex(c.public_key)));
    }
}

} // namespace
