#include "patch/detail/sha512.hpp"

#include "patch/sha256.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using gu::patch::detail::Sha512;

std::string hex(const gu::patch::detail::Sha512Digest& digest) {
    return gu::patch::to_hex(digest.data(), digest.size());
}

struct Vector {
    const char* name;
    std::string message;
    const char* want;
};

// FIPS 180-4 examples, and lengths around the padding boundaries (111/112 bytes leave room for the 16-byte
// length in the last block or not; 127/128/129 straddle a block).
const std::vector<Vector>& vectors() {
    static const std::vector<Vector> list = {
        {"empty", "",
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd4741"
         "7a81a538327af927da3e"},
        {"abc", "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643c"
         "e80e2a9ac94fa54ca49f"},
        {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71d"
         "d70354ec631238ca3445"},
        {"896 bits",
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd"
         "26545e96e55b874be909"},
        {"one million a", std::string(1000000, 'a'),
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49"
         "aa2e4eadb217ad8cc09b"},
        {"111 a", std::string(111, 'a'),
         "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b953828274461673c68d04e297b"
         "0eb7b2b4d60fc6b566a2"},
        {"112 a", std::string(112, 'a'),
         "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88fd2d970929b719ecbb152f58f"
         "130a407c8830604b70ca"},
        {"127 a", std::string(127, 'a'),
         "828613968b501dc00a97e08c73b118aa8876c26b8aac93df128502ab360f91bab50a51e088769a5c1eff4782ace147dce36425541998"
         "76374291f5d921629502"},
        {"128 a", std::string(128, 'a'),
         "b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95cacdd579f3e33abdfbe3519095"
         "19a846d465c59582f321"},
        {"129 a", std::string(129, 'a'),
         "4f681e0bd53cda4b5a2041cc8a06f2eabde44fb16c951fbd5b87702f07aeab611565b19c47fde30587177ebb852e3971bbd8d3fd30da"
         "18d71037dfbd98420429"},
    };
    return list;
}

TEST(Sha512, MatchesKnownDigests) {
    for (const Vector& v : vectors()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(hex(gu::patch::detail::sha512(v.message)), v.want);
    }
}

TEST(Sha512, PiecewiseUpdatesGiveTheOneShotDigest) {
    std::mt19937 rng(3);
    for (const Vector& v : vectors()) {
        SCOPED_TRACE(v.name);
        Sha512 hasher;
        for (std::size_t at = 0; at < v.message.size();) {
            const std::size_t piece = std::min<std::size_t>(rng() % 300, v.message.size() - at);
            hasher.update(v.message.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(hex(hasher.finish()), v.want);
    }
}

TEST(Sha512, FinishStartsANewMessage) {
    Sha512 hasher;
    hasher.update(std::string(200, 'x'));
    hasher.finish();
    hasher.update("abc");
    EXPECT_EQ(hex(hasher.finish()), vectors()[1].want);
}

} // namespace
