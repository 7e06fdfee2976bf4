// The engine's own cryptography against two independent implementations on random inputs: OpenSSL for
// the hashes, libsodium for Ed25519 signatures. Native builds only; the Windows build has neither library.

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

namespace {

using namespace gu::patch;

const unsigned char* bytes_of(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// Feeds the message in random pieces, many small ones and some spanning several blocks.
template <class Hasher> std::string hash_in_pieces(Hasher hasher, std::string_view message, std::mt19937& rng) {
    for (std::size_t at = 0; at < message.size();) {
        const std::size_t piece = std::min<std::size_t>(rng() % (rng() % 4 == 0 ? 100000 : 200), message.size() - at);
        hasher.update(message.data() + at, piece);
        at += piece;
    }
    const auto digest = hasher.finish();
    return to_hex(digest.data(), digest.size());
}

TEST(CryptoReference, HashesAndSignaturesAgreeWithOpenSslAndLibsodium) {
    std::mt19937 rng(1);
    std::string data((3 << 20) + 101, '\0');
    for (char& c : data) {
        c = static_cast<char>(rng());
    }
    std::vector<detail::Sha256Blocks> engines{&detail::sha256_portable_blocks};
    if (const detail::Sha256Blocks x86 = detail::sha256_x86_blocks()) {
        engines.push_back(x86);
    }
    for (std::size_t size = 0; size <= data.size(); size = size < 4096 ? size + 1 : size * 8 + 13) {
        const std::string_view message(data.data() + size % 61, std::min(size, data.size() - size % 61));
        unsigned char want256[SHA256_DIGEST_LENGTH];
        unsigned char want512[SHA512_DIGEST_LENGTH];
        SHA256(bytes_of(message), message.size(), want256);
        SHA512(bytes_of(message), message.size(), want512);
        for (const detail::Sha256Blocks blocks : engines) {
            ASSERT_EQ(hash_in_pieces(Sha256(blocks), message, rng), to_hex(want256, sizeof want256)) << size;
        }
        ASSERT_EQ(to_hex(detail::sha512(message).data(), 64), to_hex(want512, sizeof want512)) << size;
        ASSERT_EQ(hash_in_pieces(detail::Sha512(), message, rng), to_hex(want512, sizeof want512)) << size;
    }

    ASSERT_GE(sodium_init(), 0);
    for (int i = 0; i < 3000; ++i) {
        unsigned char key[crypto_sign_PUBLICKEYBYTES];
        unsigned char secret[crypto_sign_SECRETKEYBYTES];
        unsigned char signature[crypto_sign_BYTES];
        std::string message = data.substr(i, rng() % 2048);
        crypto_sign_keypair(key, secret);
        crypto_sign_detached(signature, nullptr, bytes_of(message), message.size(), secret);
        std::string k(reinterpret_cast<char*>(key), sizeof key);
        std::string s(reinterpret_cast<char*>(signature), sizeof signature);
        ASSERT_TRUE(ed25519_verify(s, message, k)) << "signature " << i;
        ASSERT_TRUE(detail::ed25519_verify_with<detail::Fe25>(s, message, k)) << "signature " << i << ", ten limbs";
        // One changed byte somewhere: both sides must agree (here that means: reject).
        std::string& target = i % 3 == 0 ? s : i % 3 == 1 ? k : message;
        if (!target.empty()) {
            target[rng() % target.size()] ^= static_cast<char>(1 + rng() % 255);
            ASSERT_EQ(ed25519_verify(s, message, k),
                      crypto_sign_verify_detached(bytes_of(s), bytes_of(message), message.size(), bytes_of(k)) == 0)
                << "changed signature " << i;
        }
    }
}

} // namespace
