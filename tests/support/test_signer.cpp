#include "support/test_signer.hpp"

#include "patch/detail/ed25519_scalar.hpp"
#include "patch/detail/ed25519_verify.hpp"
#include "patch/detail/edwards_point.hpp"
#include "patch/detail/sha512.hpp"

#include <algorithm>
#include <initializer_list>

namespace kyrtest {

namespace {

using gu::patch::detail::FastestField;
using gu::patch::detail::reduce_mod_l;
using gu::patch::detail::Scalar;
using gu::patch::detail::Sha512;
using gu::patch::detail::Sha512Digest;

// [scalar]B in its 32-byte encoding. The multiplication wants scalars below 2^253, so the scalar is
// reduced modulo the group order first, which B's order makes harmless.
std::string multiply_base(const Scalar& scalar) {
    const Scalar reduced = reduce_mod_l(scalar.data(), scalar.size());
    const Scalar zero{};
    const auto point =
        gu::patch::detail::double_scalar_multiply(reduced, zero, gu::patch::detail::base_point<FastestField>());
    const auto encoded = gu::patch::detail::encode_point(point.x, point.y, point.z);
    return std::string(encoded.begin(), encoded.end());
}

Scalar hash_to_scalar(std::initializer_list<std::string_view> parts) {
    Sha512 hasher;
    for (const std::string_view part : parts) {
        // An empty view may carry a null pointer, which the hasher must not be handed.
        if (!part.empty()) {
            hasher.update(part);
        }
    }
    const Sha512Digest digest = hasher.finish();
    return reduce_mod_l(digest.data(), digest.size());
}

std::string_view view(const Scalar& scalar) {
    return {reinterpret_cast<const char*>(scalar.data()), scalar.size()};
}

// (r + k * a) mod L: the product of two 32-byte numbers fits 64 bytes, and so does adding r.
Scalar multiply_add(const Scalar& k, const Scalar& a, const Scalar& r) {
    std::array<std::uint32_t, 64> wide{};
    for (std::size_t i = 0; i < 32; ++i) {
        for (std::size_t j = 0; j < 32; ++j) {
            wide[i + j] += static_cast<std::uint32_t>(k[i]) * a[j];
        }
    }
    for (std::size_t i = 0; i < 32; ++i) {
        wide[i] += r[i];
    }
    std::array<std::uint8_t, 64> bytes{};
    std::uint32_t carry = 0;
    for (std::size_t i = 0; i < 64; ++i) {
        const std::uint32_t value = wide[i] + carry;
        bytes[i] = static_cast<std::uint8_t>(value & 0xff);
        carry = value >> 8;
    }
    return reduce_mod_l(bytes.data(), bytes.size());
}

} // namespace

std::string base64_encode(std::string_view bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) {
            group = (group << 8) | (j < count ? static_cast<std::uint8_t>(bytes[i + j]) : 0u);
        }
        for (std::size_t j = 0; j < 4; ++j) {
            text += j <= count ? kAlphabet[(group >> (18 - 6 * j)) & 0x3f] : '=';
        }
    }
    return text;
}

TestSigner::TestSigner(const std::array<std::uint8_t, 32>& seed) {
    const Sha512Digest digest =
        gu::patch::detail::sha512(std::string_view(reinterpret_cast<const char*>(seed.data()), seed.size()));
    std::copy(digest.begin(), digest.begin() + 32, scalar_.begin());
    std::copy(digest.begin() + 32, digest.end(), prefix_.begin());
    scalar_[0] &= 0xf8;
    scalar_[31] &= 0x7f;
    scalar_[31] |= 0x40;
    public_key_ = multiply_base(scalar_);
}

std::string TestSigner::sign(std::string_view message) const {
    const Scalar r = hash_to_scalar({view(prefix_), message});
    const std::string big_r = multiply_base(r);
    const Scalar k = hash_to_scalar({big_r, public_key_, message});
    const Scalar s = multiply_add(k, scalar_, r);
    return big_r + std::string(view(s));
}

} // namespace kyrtest
