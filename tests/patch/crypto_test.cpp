// Known answers for the builds that have no reference library to compare with (32-bit, Windows): each
// SHA-256 engine this CPU runs, SHA-512, and an RFC 8032 signature of the test signer checked by the engine.

#include "patch/detail/sha256_blocks.hpp"
#include "patch/detail/sha512.hpp"
#include "patch/ed25519.hpp"
#include "patch/sha256.hpp"
#include "support/test_signer.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace gu::patch;

TEST(Crypto, HashesAndSignaturesGiveTheKnownAnswers) {
    const std::pair<std::string, std::string> digests[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
                "ddaf35a193617abacc417349ae204131"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"
                                    "e718483d0ce769644e2e42c7bc15b463"},
    };
    std::vector<detail::Sha256Blocks> engines{&detail::sha256_portable_blocks};
    if (const detail::Sha256Blocks x86 = detail::sha256_x86_blocks()) {
        engines.push_back(x86);
    }
    for (const auto& [message, want] : digests) {
        SCOPED_TRACE(message.size());
        for (const detail::Sha256Blocks blocks : engines) {
            Sha256 hasher(blocks);
            hasher.update(message.substr(0, 7)); // a piece, then the rest
            hasher.update(message.substr(7 < message.size() ? 7 : message.size()));
            const auto digest = hasher.finish();
            EXPECT_EQ(to_hex(digest.data(), digest.size()) + to_hex(detail::sha512(message).data(), 16), want);
        }
    }

    // RFC 8032, section 7.1, test 2.
    const kyrtest::TestSigner signer({0x4c, 0xcd, 0x08, 0x9b, 0x28, 0xff, 0x96, 0xda, 0x9d, 0xb6, 0xc3,
                                      0x46, 0xec, 0x11, 0x4e, 0x0f, 0x5b, 0x8a, 0x31, 0x9f, 0x35, 0xab,
                                      0xa6, 0x24, 0xda, 0x8c, 0xf6, 0xed, 0x4f, 0xb8, 0xa6, 0xfb});
    const std::string signature = signer.sign("\x72");
    const auto hex = [](const std::string& bytes) {
        return to_hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(hex(signer.public_key()), "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    EXPECT_EQ(hex(signature), "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f"
                              "3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    EXPECT_TRUE(ed25519_verify(signature, "\x72", signer.public_key()));
    EXPECT_FALSE(ed25519_verify(signature, "\x73", signer.public_key()));
}

} // namespace
