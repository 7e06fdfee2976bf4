// The engine's own cryptography against two independent implementations: OpenSSL for the hashes,
// libsodium for Ed25519 signatures. Native builds only; the Windows build has neither library.

#include "patch/detail/ed25519_verify.hpp"
#include "patch/detail/sha256_blocks.hpp"
#include "patch/detail/sha512.hpp"
#include "patch/ed25519.hpp"
#include "patch/sha256.hpp"

#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sodium.h>

#include <random>
#include <string>
#include <vector>

namespace {

using gu::patch::detail::Sha256Blocks;

std::string random_bytes(std::mt19937& rng, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(rng());
    }
    return bytes;
}

const unsigned char* bytes_of(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string openssl_sha256(std::string_view message) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(bytes_of(message), message.size(), digest);
    return gu::patch::to_hex(digest, sizeof digest);
}

std::string openssl_sha512(std::string_view message) {
    unsigned char digest[SHA512_DIGEST_LENGTH];
    SHA512(bytes_of(message), message.size(), digest);
    return gu::patch::to_hex(digest, sizeof digest);
}

// Feeds the message in random pieces (many small ones, some spanning several blocks).
template <class Hasher> std::string hash_in_pieces(Hasher hasher, std::string_view message, std::mt19937& rng) {
    for (std::size_t at = 0; at < message.size();) {
        const std::size_t limit = rng() % 4 == 0 ? 100000 : 200;
        const std::size_t piece = std::min<std::size_t>(rng() % limit, message.size() - at);
        hasher.update(message.data() + at, piece);
        at += piece;
    }
    const auto digest = hasher.finish();
    return gu::patch::to_hex(digest.data(), digest.size());
}

std::vector<std::pair<const char*, Sha256Blocks>> sha256_engines() {
    std::vector<std::pair<const char*, Sha256Blocks>> list{{"portable", &gu::patch::detail::sha256_portable_blocks}};
    if (const Sha256Blocks x86 = gu::patch::detail::sha256_x86_blocks()) {
        list.emplace_back("x86 SHA extensions", x86);
    }
    return list;
}

TEST(CryptoReference, Sha256AgreesWithOpenSslOnEveryLengthUpTo4096) {
    std::mt19937 rng(1);
    const std::string data = random_bytes(rng, 8192);
    for (const auto& [name, blocks] : sha256_engines()) {
        for (std::size_t size = 0; size <= 4096; ++size) {
            const std::string_view message(data.data() + size % 61, size);
            gu::patch::Sha256 hasher(blocks);
            hasher.update(message);
            const auto digest = hasher.finish();
            ASSERT_EQ(gu::patch::to_hex(digest.data(), digest.size()), openssl_sha256(message))
                << name << ", " << size << " bytes";
            if (size % 7 == 0) {
                ASSERT_EQ(hash_in_pieces(gu::patch::Sha256(blocks), message, rng), openssl_sha256(message))
                    << name << ", " << size << " bytes in pieces";
            }
        }
    }
}

TEST(CryptoReference, Sha256AgreesWithOpenSslOnMebibytes) {
    std::mt19937 rng(2);
    const std::string message = random_bytes(rng, (5 << 20) + 13);
    const std::string want = openssl_sha256(message);
    EXPECT_EQ(gu::patch::sha256_hex(message), want);
    for (const auto& [name, blocks] : sha256_engines()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(hash_in_pieces(gu::patch::Sha256(blocks), message, rng), want);
    }
}

TEST(CryptoReference, Sha512AgreesWithOpenSsl) {
    std::mt19937 rng(3);
    const std::string data = random_bytes(rng, 8192);
    for (std::size_t size = 0; size <= 4096; ++size) {
        const std::string_view message(data.data() + size % 61, size);
        ASSERT_EQ(gu::patch::to_hex(gu::patch::detail::sha512(message).data(), 64), openssl_sha512(message))
            << size << " bytes";
        if (size % 7 == 0) {
            ASSERT_EQ(hash_in_pieces(gu::patch::detail::Sha512(), message, rng), openssl_sha512(message))
                << size << " bytes in pieces";
        }
    }
    const std::string large = random_bytes(rng, (3 << 20) + 101);
    EXPECT_EQ(hash_in_pieces(gu::patch::detail::Sha512(), large, rng), openssl_sha512(large));
}

class SodiumSigner {
public:
    SodiumSigner() {
        if (sodium_init() < 0) {
            throw std::runtime_error("sodium_init failed");
        }
    }
    struct Signed {
        std::string key;
        std::string message;
        std::string signature;
    };
    Signed sign(std::string message) const {
        unsigned char key[crypto_sign_PUBLICKEYBYTES];
        unsigned char secret[crypto_sign_SECRETKEYBYTES];
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_keypair(key, secret);
        crypto_sign_detached(signature, nullptr, bytes_of(message), message.size(), secret);
        return {std::string(reinterpret_cast<char*>(key), sizeof key), std::move(message),
                std::string(reinterpret_cast<char*>(signature), sizeof signature)};
    }
    static bool verify(const Signed& s) {
        return crypto_sign_verify_detached(bytes_of(s.signature), bytes_of(s.message), s.message.size(),
                                           bytes_of(s.key)) == 0;
    }
};

TEST(CryptoReference, Ed25519AgreesWithLibsodiumOnRandomSignatures) {
    const SodiumSigner signer;
    std::mt19937 rng(4);
    for (int i = 0; i < 3000; ++i) {
        SodiumSigner::Signed s = signer.sign(random_bytes(rng, rng() % 2048));
        ASSERT_TRUE(gu::patch::ed25519_verify(s.signature, s.message, s.key)) << "signature " << i;
        if (i % 4 == 0) {
            ASSERT_TRUE(gu::patch::detail::ed25519_verify_with<gu::patch::detail::Fe25>(s.signature, s.message, s.key))
                << "signature " << i << " with ten limbs";
        }
        // One changed byte somewhere: both sides must reject (the top bits of S aside, they agree here).
        std::string& target = i % 3 == 0 ? s.signature : i % 3 == 1 ? s.key : s.message;
        if (target.empty()) {
            continue;
        }
        target[rng() % target.size()] ^= static_cast<char>(1 + rng() % 255);
        ASSERT_EQ(gu::patch::ed25519_verify(s.signature, s.message, s.key), SodiumSigner::verify(s))
            << "changed signature " << i;
    }
}

// Where the rules here deliberately differ from libsodium: S is only bounded by 2^253, and the key gets no
// small-order or canonical-encoding check.
TEST(CryptoReference, AcceptsWhatLibsodiumRejectsOnPurpose) {
    const SodiumSigner signer;
    std::mt19937 rng(5);
    int checked = 0;
    while (checked < 20) {
        SodiumSigner::Signed s = signer.sign(random_bytes(rng, 100));
        // S + L, when that stays below 2^253.
        unsigned carry = 0;
        const unsigned char order[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                         0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                         0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
        for (int i = 0; i < 32; ++i) {
            carry += static_cast<unsigned char>(s.signature[32 + i]) + order[i];
            s.signature[32 + i] = static_cast<char>(carry);
            carry >>= 8;
        }
        if ((static_cast<unsigned char>(s.signature[63]) & 0xe0) != 0) {
            continue;
        }
        ++checked;
        EXPECT_TRUE(gu::patch::ed25519_verify(s.signature, s.message, s.key));
        EXPECT_FALSE(SodiumSigner::verify(s));
    }

    // The neutral point as the key, with R = B and S = 1.
    SodiumSigner::Signed neutral;
    neutral.key = std::string("\x01", 1) + std::string(31, '\0');
    neutral.message = "any message";
    neutral.signature = std::string("\x58") + std::string(31, '\x66') + "\x01" + std::string(31, '\0');
    EXPECT_TRUE(gu::patch::ed25519_verify(neutral.signature, neutral.message, neutral.key));
    EXPECT_FALSE(SodiumSigner::verify(neutral));
}

} // namespace
