#include "patch/sha256.hpp"

#include "patch/detail/sha256_blocks.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using gu::patch::Sha256;
using gu::patch::detail::Sha256Blocks;

struct Engine {
    const char* name;
    Sha256Blocks blocks;
};

// Every compression function this CPU can run; the x86 one is missing on CPUs without the SHA extensions.
std::vector<Engine> engines() {
    std::vector<Engine> list{{"portable", &gu::patch::detail::sha256_portable_blocks}};
    if (const Sha256Blocks x86 = gu::patch::detail::sha256_x86_blocks()) {
        list.push_back({"x86 SHA extensions", x86});
    }
    return list;
}

std::string hex_digest(Sha256Blocks blocks, std::string_view message) {
    Sha256 hasher(blocks);
    hasher.update(message);
    const auto digest = hasher.finish();
    return gu::patch::to_hex(digest.data(), digest.size());
}

std::string random_bytes(std::mt19937& rng, std::size_t size) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(rng());
    }
    return bytes;
}

struct Vector {
    const char* name;
    std::string message;
    const char* want;
};

// FIPS 180-4 examples, and lengths on each side of the padding boundaries (55/56 bytes leave room for the
// length in the last block or not; 63/64/65 straddle a block).
const std::vector<Vector>& vectors() {
    static const std::vector<Vector> list = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"896 bits",
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {"one million a", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"55 a", std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {"56 a", std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {"63 a", std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {"64 a", std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {"65 a", std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
    };
    return list;
}

TEST(Sha256, MatchesKnownDigestsOnEveryEngine) {
    for (const Engine& engine : engines()) {
        for (const Vector& v : vectors()) {
            SCOPED_TRACE(std::string(engine.name) + ": " + v.name);
            EXPECT_EQ(hex_digest(engine.blocks, v.message), v.want);
        }
    }
}

TEST(Sha256, HexOfTheDefaultEngineIsLowerCase) {
    for (const Vector& v : vectors()) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(gu::patch::sha256_hex(v.message), v.want);
    }
}

TEST(Sha256, PiecewiseUpdatesGiveTheOneShotDigest) {
    std::mt19937 rng(7);
    for (const Engine& engine : engines()) {
        for (const Vector& v : vectors()) {
            SCOPED_TRACE(std::string(engine.name) + ": " + v.name);
            Sha256 bytewise(engine.blocks);
            Sha256 random_pieces(engine.blocks);
            for (std::size_t i = 0; i < v.message.size() && i < 300; ++i) {
                bytewise.update(v.message.data() + i, 1);
            }
            bytewise.update(v.message.data() + std::min<std::size_t>(v.message.size(), 300),
                            v.message.size() - std::min<std::size_t>(v.message.size(), 300));
            for (std::size_t at = 0; at < v.message.size();) {
                const std::size_t piece = std::min<std::size_t>(rng() % 200, v.message.size() - at);
                random_pieces.update(v.message.data() + at, piece);
                at += piece;
            }
            const auto a = bytewise.finish();
            const auto b = random_pieces.finish();
            EXPECT_EQ(gu::patch::to_hex(a.data(), a.size()), v.want);
            EXPECT_EQ(gu::patch::to_hex(b.data(), b.size()), v.want);
        }
    }
}

TEST(Sha256, EnginesAgreeOnRandomInputs) {
    const auto list = engines();
    if (list.size() < 2) {
        GTEST_SKIP() << "this CPU has no SHA extensions; only the portable engine runs";
    }
    std::mt19937 rng(11);
    const std::string data = random_bytes(rng, 3 * 4096);
    for (std::size_t size = 0; size <= 4096; size += 1 + size / 64) {
        const std::string_view message(data.data() + rng() % 4096, size);
        SCOPED_TRACE(size);
        EXPECT_EQ(hex_digest(list[0].blocks, message), hex_digest(list[1].blocks, message));
    }
}

TEST(Sha256, FinishStartsANewMessage) {
    Sha256 hasher;
    hasher.update("some earlier message that must not leak into the next digest");
    hasher.finish();
    hasher.update("abc");
    const auto digest = hasher.finish();
    EXPECT_EQ(gu::patch::to_hex(digest.data(), digest.size()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(ToHex, WritesTwoLowerCaseDigitsPerByte) {
    const std::uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff, 0x5c};
    EXPECT_EQ(gu::patch::to_hex(bytes, sizeof bytes), "000fa0ff5c");
    EXPECT_EQ(gu::patch::to_hex(bytes, 0), "");
}

} // namespace
