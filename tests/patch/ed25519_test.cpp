#include "patch/ed25519.hpp"

#include "patch/detail/ed25519_verify.hpp"
#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace gu::patch::detail;

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    return gu::patch::to_hex(bytes, size);
}

template <class F> std::string hex(const F& element) {
    std::uint8_t bytes[32];
    element.to_bytes(bytes);
    return hex(bytes, 32);
}

struct Vector {
    const char* name;
    std::string key;
    std::string message;
    std::string signature;
};

// RFC 8032, section 7.1.
const std::vector<Vector>& rfc8032_vectors() {
    static const std::vector<Vector> list = {
        {"test 1", from_hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"), "",
         from_hex(
             "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf"
             "5f0595bbe24655141438e7a100b")},
        {"test 2", from_hex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"), from_hex("72"),
         from_hex(
             "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2"
             "eaeb4302aeeb00d291612bb0c00")},
        {"test 3", from_hex("fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025"), from_hex("af82"),
         from_hex(
             "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c1"
             "5e9716ed28dc027beceea1ec40a")},
        {"test 1024", from_hex("278117fc144c72340f67d0f2316e8386ceffbf2b2428c9c51fef7c597f1d426e"),
         from_hex("08b8b2b733424243760fe426a4b54908632110a66c2f6591eabd3345e3e4eb98fa6e264bf09efe12ee50f8f54e9f77b1e355"
                  "f6c505"
                  "44e23fb1433ddf73be84d879de7c0046dc4996d9e773f4bc9efe5738829adb26c81b37c93a1b270b20329d658675fc6ea534"
                  "e0810a"
                  "4432826bf58c941efb65d57a338bbd2e26640f89ffbc1a858efcb8550ee3a5e1998bd177e93a7363c344fe6b199ee5d02e82"
                  "d522c4"
                  "feba15452f80288a821a579116ec6dad2b3b310da903401aa62100ab5d1a36553e06203b33890cc9b832f79ef80560ccb9a3"
                  "9ce767"
                  "967ed628c6ad573cb116dbefefd75499da96bd68a8a97b928a8bbc103b6621fcde2beca1231d206be6cd9ec7aff6f6c94fcd"
                  "7204ed"
                  "3455c68c83f4a41da4af2b74ef5c53f1d8ac70bdcb7ed185ce81bd84359d44254d95629e9855a94a7c1958d1f8ada5d0532e"
                  "d8a5aa"
                  "3fb2d17ba70eb6248e594e1a2297acbbb39d502f1a8c6eb6f1ce22b3de1a1f40cc24554119a831a9aad6079cad88425de6bd"
                  "e1a918"
                  "7ebb6092cf67bf2b13fd65f27088d78b7e883c8759d2c4f5c65adb7553878ad575f9fad878e80a0c9ba63bcbcc2732e69485"
                  "bbc9c9"
                  "0bfbd62481d9089beccf80cfe2df16a2cf65bd92dd597b0707e0917af48bbb75fed413d238f5555a7a569d80c3414a8d0859"
                  "dc65a4"
                  "6128bab27af87a71314f318c782b23ebfe808b82b0ce26401d2e22f04d83d1255dc51addd3b75a2b1ae0784504df543af896"
                  "9be3ea"
                  "7082ff7fc9888c144da2af58429ec96031dbcad3dad9af0dcbaaaf268cb8fcffead94f3c7ca495e056a9b47acdb751fb73e6"
                  "66c6c6"
                  "55ade8297297d07ad1ba5e43f1bca32301651339e22904cc8c42f58c30c04aafdb038dda0847dd988dcda6f3bfd15c4b4c45"
                  "25004a"
                  "a06eeff8ca61783aacec57fb3d1f92b0fe2fd1a85f6724517b65e614ad6808d6f6ee34dff7310fdc82aebfd904b01e1dc54b"
                  "292709"
                  "4b2db68d6f903b68401adebf5a7e08d78ff4ef5d63653a65040cf9bfd4aca7984a74d37145986780fc0b16ac451649de6188"
                  "a7dbdf"
                  "191f64b5fc5e2ab47b57f7f7276cd419c17a3ca8e1b939ae49e488acba6b965610b5480109c8b17b80e1b7b750dfc7598d5d"
                  "5011fd"
                  "2dcc5600a32ef5b52a1ecc820e308aa342721aac0943bf6686b64b2579376504ccc493d97e6aed3fb0f9cd71a43dd497f01f"
                  "17c0e2"
                  "cb3797aa2a2f256656168e6c496afc5fb93246f6b1116398a346f1a641f3b041e989f7914f90cc2c7fff357876e506b50d33"
                  "4ba77c"
                  "225bc307ba537152f3f1610e4eafe595f6d9d90d11faa933a15ef1369546868a7f3a45a96768d40fd9d03412c091c6315cf4"
                  "fde7cb"
                  "68606937380db2eaaa707b4c4185c32eddcdd306705e4dc1ffc872eeee475a64dfac86aba41c0618983f8741c5ef68d3a101"
                  "e8a3b8"
                  "cac60c905c15fc910840b94c00a0b9d0"),
         from_hex(
             "0aab4c900501b3e24d7cdf4663326a3a87df5e4843b2cbdb67cbf6e460fec350aa5371b1508f9f4528ecea23c436d94b5e8fc"
             "d4f681e30a6ac00a9704a188a03")},
        {"test SHA(abc)", from_hex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf"),
         from_hex(
             "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4"
             "423643ce80e2a9ac94fa54ca49f"),
         from_hex(
             "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431e0303dca1"
             "79c138ac17ad9bef1177331a704")},
    };
    return list;
}

// L = 2^252 + 27742317777372353535851937790883648493, little-endian.
const std::string kGroupOrder = from_hex("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");

// The signature with S replaced by S + L.
std::string add_group_order_to_s(std::string signature) {
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
        carry += static_cast<std::uint8_t>(signature[32 + i]) + static_cast<std::uint8_t>(kGroupOrder[i]);
        signature[32 + i] = static_cast<char>(carry);
        carry >>= 8;
    }
    return signature;
}

Scalar to_scalar(std::string_view bytes) {
    Scalar s{};
    std::copy(bytes.begin(), bytes.end(), s.begin());
    return s;
}

template <class F> class Ed25519WithField : public ::testing::Test {};

#if defined(__SIZEOF_INT128__)
using Fields = ::testing::Types<Fe25, Fe51>;
#else
using Fields = ::testing::Types<Fe25>;
#endif
TYPED_TEST_SUITE(Ed25519WithField, Fields);

TYPED_TEST(Ed25519WithField, AcceptsTheRfc8032Vectors) {
    for (const Vector& v : rfc8032_vectors()) {
        SCOPED_TRACE(v.name);
        EXPECT_TRUE(ed25519_verify_with<TypeParam>(v.signature, v.message, v.key));
        EXPECT_TRUE(gu::patch::ed25519_verify(v.signature, v.message, v.key));
    }
}

TYPED_TEST(Ed25519WithField, RejectsEverySingleBitFlip) {
    const Vector& v = rfc8032_vectors()[2];
    const std::vector<std::pair<const char*, int>> fields = {{"message", 0}, {"signature", 1}, {"key", 2}};
    for (const auto& [name, which] : fields) {
        const std::string& original = which == 0 ? v.message : which == 1 ? v.signature : v.key;
        for (std::size_t bit = 0; bit < original.size() * 8; ++bit) {
            std::string flipped = original;
            flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
            SCOPED_TRACE(std::string(name) + " bit " + std::to_string(bit));
            EXPECT_FALSE(ed25519_verify_with<TypeParam>(
                which == 1 ? flipped : v.signature, which == 0 ? flipped : v.message, which == 2 ? flipped : v.key));
        }
    }
}

// S is only bounded by 2^253, so S + L (the same scalar modulo L) verifies as well.
TYPED_TEST(Ed25519WithField, AcceptsSPlusTheGroupOrder) {
    for (const Vector& v : rfc8032_vectors()) {
        const std::string raised = add_group_order_to_s(v.signature);
        if ((static_cast<std::uint8_t>(raised[63]) & 0xe0) != 0) {
            continue; // S + L reaches 2^253 for this vector
        }
        SCOPED_TRACE(v.name);
        EXPECT_TRUE(ed25519_verify_with<TypeParam>(raised, v.message, v.key));
    }
}

TYPED_TEST(Ed25519WithField, RejectsAnyOfTheTopThreeBitsOfS) {
    const Vector& v = rfc8032_vectors()[0];
    for (const int bit : {5, 6, 7}) {
        std::string signature = v.signature;
        signature[63] = static_cast<char>(signature[63] | (1 << bit));
        SCOPED_TRACE(bit);
        EXPECT_FALSE(ed25519_verify_with<TypeParam>(signature, v.message, v.key));
    }
    // S + 2L: the same scalar again, but past 2^253.
    const std::string twice = add_group_order_to_s(add_group_order_to_s(v.signature));
    ASSERT_NE(static_cast<std::uint8_t>(twice[63]) & 0xe0, 0);
    EXPECT_FALSE(ed25519_verify_with<TypeParam>(twice, v.message, v.key));
}

TYPED_TEST(Ed25519WithField, RejectsAKeyWhoseYHasNoPoint) {
    std::string key(32, '\0');
    key[0] = 2; // y = 2: (y^2 - 1) / (d y^2 + 1) is not a square
    ExtendedPoint<TypeParam> point;
    EXPECT_FALSE(decode_point(reinterpret_cast<const std::uint8_t*>(key.data()), point));
    const Vector& v = rfc8032_vectors()[0];
    EXPECT_FALSE(ed25519_verify_with<TypeParam>(v.signature, v.message, key));
    key[0] = 3;
    EXPECT_TRUE(decode_point(reinterpret_cast<const std::uint8_t*>(key.data()), point));
}

// The neutral point (x = 0, y = 1) is accepted as a key in all three of its encodings: canonical, with the
// sign bit set, and with y written as p + 1. With A neutral, [S]B - [k]A = [S]B for every message, so
// R = B and S = 1 verify.
TYPED_TEST(Ed25519WithField, AcceptsNonCanonicalEncodingsOfAKey) {
    const std::string signature = from_hex("5866666666666666666666666666666666666666666666666666666666666666"
                                           "0100000000000000000000000000000000000000000000000000000000000000");
    const std::vector<std::pair<const char*, std::string>> keys = {
        {"y = 1", from_hex("0100000000000000000000000000000000000000000000000000000000000000")},
        {"y = 1, sign bit set", from_hex("0100000000000000000000000000000000000000000000000000000000000080")},
        {"y = p + 1", from_hex("eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f")},
    };
    for (const auto& [name, key] : keys) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(ed25519_verify_with<TypeParam>(signature, "any message", key));
    }
    EXPECT_FALSE(ed25519_verify_with<TypeParam>(signature, "any message", rfc8032_vectors()[0].key));
}

TYPED_TEST(Ed25519WithField, RejectsWrongLengths) {
    const Vector& v = rfc8032_vectors()[1];
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", v.key},       {v.signature.substr(0, 63), v.key}, {v.signature + '\0', v.key},
        {v.signature, ""}, {v.signature, v.key.substr(0, 31)}, {v.signature, v.key + '\0'},
    };
    for (const auto& [signature, key] : cases) {
        SCOPED_TRACE(std::to_string(signature.size()) + " / " + std::to_string(key.size()));
        EXPECT_FALSE(ed25519_verify_with<TypeParam>(signature, v.message, key));
        EXPECT_FALSE(gu::patch::ed25519_verify(signature, v.message, key));
    }
}

TYPED_TEST(Ed25519WithField, ReducesAndEncodesFieldElements) {
    using F = TypeParam;
    const std::string p = "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f";
    auto element = [](const std::string& little_endian_hex) {
        const std::string bytes = from_hex(little_endian_hex);
        return F::from_bytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
    };
    const F one = F::from_uint(1);
    const F minus_one = -one;
    struct Case {
        const char* name;
        F value;
        const char* want;
    };
    const std::vector<Case> cases = {
        {"p is zero", element(p), "0000000000000000000000000000000000000000000000000000000000000000"},
        {"2^255 - 1 is 18", element(std::string(62, 'f') + "7f"),
         "1200000000000000000000000000000000000000000000000000000000000000"},
        {"the top bit is ignored", element("05" + std::string(60, '0') + "80"),
         "0500000000000000000000000000000000000000000000000000000000000000"},
        {"-1 is p - 1", minus_one, "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"},
        {"(-1)^2 is 1", square(minus_one), "0100000000000000000000000000000000000000000000000000000000000000"},
        {"(p - 1) + 2 wraps to 1", minus_one + F::from_uint(2),
         "0100000000000000000000000000000000000000000000000000000000000000"},
        {"1 / 2 is (p + 1) / 2", invert(F::from_uint(2)),
         "f7ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff3f"},
        {"d", curve<F>().d, "a3785913ca4deb75abd841414d0a700098e879777940c78c73fe6f2bee6c0352"},
        {"sqrt(-1)", curve<F>().sqrt_minus_one, "b0a00e4a271beec478e42fad0618432fa7d7fb3d99004d2b0bdfc14f8024832b"},
        {"sqrt(-1)^2 is -1", square(curve<F>().sqrt_minus_one),
         "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(hex(c.value), c.want);
    }
}

TYPED_TEST(Ed25519WithField, BasePointHasTheStandardCoordinates) {
    using F = TypeParam;
    const ExtendedPoint<F>& b = base_point<F>();
    const F z_inverse = invert(b.z);
    EXPECT_EQ(hex(b.x * z_inverse), "1ad5258f602d56c9b2a7259560c72c695cdcd6fd31e2a4c0fe536ecdd3366921");
    EXPECT_EQ(hex(b.y * z_inverse), "5866666666666666666666666666666666666666666666666666666666666666");
}

// Double-and-add over plain bits: slow, but with nothing in common with the windowed code but the formulas.
template <class F>
std::array<std::uint8_t, 32> reference_multiply(const Scalar& s, const Scalar& k, const ExtendedPoint<F>& p) {
    const F one = F::from_uint(1);
    ExtendedPoint<F> r{F::zero(), one, one, F::zero()};
    const CachedPoint<F> b = to_cached(base_point<F>());
    const CachedPoint<F> q = to_cached(p);
    for (int bit = 255; bit >= 0; --bit) {
        r = to_extended(double_point(r));
        if ((s[bit / 8] >> (bit % 8)) & 1) {
            r = to_extended(add_point<false>(r, b));
        }
        if ((k[bit / 8] >> (bit % 8)) & 1) {
            r = to_extended(add_point<false>(r, q));
        }
    }
    return encode_point(r.x, r.y, r.z);
}

TYPED_TEST(Ed25519WithField, DoubleScalarMultiplicationMatchesDoubleAndAdd) {
    using F = TypeParam;
    std::mt19937 rng(2024);
    ExtendedPoint<F> p;
    ASSERT_TRUE(decode_point(reinterpret_cast<const std::uint8_t*>(rfc8032_vectors()[0].key.data()), p));
    std::vector<std::pair<Scalar, Scalar>> scalars = {
        {Scalar{}, Scalar{}},
        {to_scalar(from_hex("01")), Scalar{}},
        {Scalar{}, to_scalar(from_hex("01"))},
        {to_scalar(kGroupOrder), to_scalar(kGroupOrder)},
        {to_scalar(std::string(31, '\xff') + "\x1f"), to_scalar(std::string(31, '\xff') + "\x1f")},
    };
    for (int i = 0; i < 20; ++i) {
        Scalar s, k;
        for (int j = 0; j < 32; ++j) {
            s[j] = static_cast<std::uint8_t>(rng());
            k[j] = static_cast<std::uint8_t>(rng());
        }
        s[31] &= 0x1f;
        k[31] &= 0x1f;
        scalars.push_back({s, k});
    }
    for (const auto& [s, k] : scalars) {
        SCOPED_TRACE(hex(s.data(), 32) + " " + hex(k.data(), 32));
        const ProjectivePoint<F> r = double_scalar_multiply(s, k, p);
        const auto got = encode_point(r.x, r.y, r.z);
        EXPECT_EQ(hex(got.data(), 32), hex(reference_multiply(s, k, p).data(), 32));
    }
    // [L]B is the neutral point.
    const ProjectivePoint<F> r = double_scalar_multiply(to_scalar(kGroupOrder), Scalar{}, p);
    const auto neutral = encode_point(r.x, r.y, r.z);
    EXPECT_EQ(hex(neutral.data(), 32), "0100000000000000000000000000000000000000000000000000000000000000");
}

TEST(Ed25519Scalar, ReducesModuloTheGroupOrder) {
    struct Case {
        const char* name;
        std::string input;
        const char* want;
    };
    const std::string digest_of_abc = from_hex(
        "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce8"
        "0e2a9ac94fa54ca49f");
    const std::vector<Case> cases = {
        {"zero", std::string(64, '\0'), "0000000000000000000000000000000000000000000000000000000000000000"},
        {"L - 1", from_hex("ecd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010"),
         "ecd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010"},
        {"L", kGroupOrder, "0000000000000000000000000000000000000000000000000000000000000000"},
        {"L + 5", from_hex("f2d3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010"),
         "0500000000000000000000000000000000000000000000000000000000000000"},
        {"2^512 - 1", std::string(64, '\xff'), "000f9c44e31106a447938568a71b0ed065bef517d273ecce3d9a307c1b419903"},
        {"SHA-512 of abc", digest_of_abc, "d15dbef29abf1ff29f9cf91c4b75ee0bb1012cb031d9605d684e841df034de0b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Scalar r = reduce_mod_l(reinterpret_cast<const std::uint8_t*>(c.input.data()), c.input.size());
        EXPECT_EQ(hex(r.data(), r.size()), c.want);
    }
}

TEST(Ed25519Scalar, SignedWindowDigitsRebuildTheScalar) {
    std::mt19937 rng(99);
    std::vector<Scalar> scalars = {Scalar{}, to_scalar(kGroupOrder), to_scalar(std::string(31, '\xff') + "\x1f"),
                                   to_scalar(from_hex("ff"))};
    for (int i = 0; i < 50; ++i) {
        Scalar s;
        for (auto& byte : s) {
            byte = static_cast<std::uint8_t>(rng());
        }
        s[31] &= 0x1f;
        scalars.push_back(s);
    }
    for (const int w : {5, 8}) {
        for (const Scalar& s : scalars) {
            SCOPED_TRACE("w = " + std::to_string(w) + ", scalar " + hex(s.data(), 32));
            const auto digits = signed_window_digits(s, w);
            int last_nonzero = -w;
            long long carry = 0;
            for (int i = 0; i < 256; ++i) {
                if (digits[i] != 0) {
                    EXPECT_NE(digits[i] % 2, 0) << "at " << i;
                    EXPECT_LT(std::abs(digits[i]), 1 << (w - 1)) << "at " << i;
                    EXPECT_GE(i - last_nonzero, w) << "at " << i;
                    last_nonzero = i;
                }
                // Rebuild bit by bit: digit plus carry, low bit out, the rest (possibly negative) carried.
                const long long t = digits[i] + carry;
                const int bit = static_cast<int>(t & 1);
                carry = (t - bit) / 2;
                ASSERT_EQ(bit, (s[i / 8] >> (i % 8)) & 1) << "at " << i;
            }
            EXPECT_EQ(carry, 0);
        }
    }
}

} // namespace
