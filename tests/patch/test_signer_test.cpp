#include "support/test_signer.hpp"

#include "patch/base64.hpp"
#include "patch/ed25519.hpp"
#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kyrtest::base64_encode;
using kyrtest::TestSigner;

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string to_hex(const std::string& bytes) {
    return gu::patch::to_hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::array<std::uint8_t, 32> seed_from_hex(std::string_view hex) {
    const std::string bytes = from_hex(hex);
    std::array<std::uint8_t, 32> seed{};
    std::copy(bytes.begin(), bytes.end(), seed.begin());
    return seed;
}

TEST(TestSigner, MatchesRfc8032Vectors) {
    struct Case {
        const char* name;
        const char* seed;
        std::string message;
        const char* public_key;
        const char* signature;
    };
    // RFC 8032, section 7.1, tests 1 and 2.
    const Case cases[] = {
        {"test 1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60", "",
         "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f05"
         "95bbe24655141438e7a100b"},
        {"test 2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb", from_hex("72"),
         "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c",
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eae"
         "b4302aeeb00d291612bb0c00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TestSigner signer(seed_from_hex(c.seed));
        EXPECT_EQ(to_hex(signer.public_key()), c.public_key);
        EXPECT_EQ(to_hex(signer.sign(c.message)), c.signature);
    }
}

TEST(TestSigner, SignaturesPassTheEngineVerificationAndOnlyForTheirMessage) {
    const TestSigner signer(seed_from_hex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20"));
    const std::vector<std::string> messages = {"", "x", std::string("bin\0\xff", 5), std::string(1000, 'q')};
    for (const std::string& message : messages) {
        SCOPED_TRACE(message.size());
        const std::string signature = signer.sign(message);
        ASSERT_EQ(signature.size(), 64u);
        EXPECT_TRUE(gu::patch::ed25519_verify(signature, message, signer.public_key()));
        EXPECT_FALSE(gu::patch::ed25519_verify(signature, message + "!", signer.public_key()));
        EXPECT_EQ(gu::patch::base64_decode(signer.sign_base64(message)), signature);
    }
    const std::string key_text = signer.public_key_base64();
    EXPECT_EQ(key_text.size(), 44u);
    EXPECT_EQ(gu::patch::base64_decode(key_text), signer.public_key());
    EXPECT_EQ(signer.sign_base64("x").size(), 88u);
}

TEST(TestSigner, Base64EncodesRfc4648Vectors) {
    struct Case {
        std::string bytes;
        const char* want;
    };
    const Case cases[] = {{"", ""},
                          {"f", "Zg=="},
                          {"fo", "Zm8="},
                          {"foo", "Zm9v"},
                          {"foob", "Zm9vYg=="},
                          {"fooba", "Zm9vYmE="},
                          {"foobar", "Zm9vYmFy"},
                          {std::string("\xfb\xff\xbf", 3), "+/+/"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(base64_encode(c.bytes), c.want);
        EXPECT_EQ(gu::patch::base64_decode(c.want), c.bytes);
    }
}

} // namespace
