#include "tools/kyr-store/signing_key.hpp"

#include "support/scratch_folder.hpp"

#include "patch/base64.hpp"
#include "patch/ed25519.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using kyrstore::SigningKey;

const auto kQuiet = [](const std::string&) {};

TEST(Base64Encode, MatchesTheStandardAndTheEnginesDecoder) {
    struct Case {
        std::string bytes;
        std::string want;
    };
    const Case cases[] = {{"", ""},
                          {"f", "Zg=="},
                          {"fo", "Zm8="},
                          {"foo", "Zm9v"},
                          {"foob", "Zm9vYg=="},
                          {"fooba", "Zm9vYmE="},
                          {"foobar", "Zm9vYmFy"},
                          {std::string("\0\xff\xfe", 3), "AP/+"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(kyrstore::base64_encode(c.bytes), c.want);
        EXPECT_EQ(gu::patch::base64_decode(c.want), c.bytes);
    }
}

TEST(SigningKey, GeneratedKeySignsWhatTheEngineVerifies) {
    kyrtest::ScratchFolder scratch;
    const fs::path file = scratch / "store.key";
    const SigningKey key = SigningKey::generate(file);
    const std::string public_key = key.public_key_base64();
    ASSERT_EQ(public_key.size(), 44u);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(gu::patch::base64_decode(kyrtest::read_bytes(file)).size(), 64u);

    const SigningKey loaded = SigningKey::load(file, kQuiet);
    EXPECT_EQ(loaded.public_key_base64(), public_key);
    const std::string document = "{\"latest\":\"1.0\"}\n";
    const std::string signature = loaded.sign_base64(document);
    EXPECT_EQ(signature.size(), 88u);
    EXPECT_TRUE(
        gu::patch::ed25519_verify(gu::patch::base64_decode(signature), document, gu::patch::base64_decode(public_key)));
    EXPECT_FALSE(gu::patch::ed25519_verify(gu::patch::base64_decode(signature), document + " ",
                                           gu::patch::base64_decode(public_key)));
}

TEST(SigningKey, NeverOverwritesAKeyFile) {
    kyrtest::ScratchFolder scratch;
    const fs::path file = scratch / "store.key";
    SigningKey::generate(file);
    const std::string before = kyrtest::read_bytes(file);
    EXPECT_THROW(SigningKey::generate(file), std::runtime_error);
    EXPECT_EQ(kyrtest::read_bytes(file), before);
    EXPECT_THROW(SigningKey::generate(scratch / "no" / "such" / "folder"), std::runtime_error);
}

TEST(SigningKey, RefusesFilesThatHoldNoKey) {
    kyrtest::ScratchFolder scratch;
    const fs::path good = scratch / "good.key";
    SigningKey::generate(good);
    std::string flipped = kyrtest::read_bytes(good);
    flipped[60] = flipped[60] == 'A' ? 'B' : 'A'; // inside the public half
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"not Base64", "this is not a key\n"},
        {"32 bytes only", kyrtest::read_bytes(good).substr(0, 44) + "\n"},
        {"public half altered", flipped},
        {"oversized", std::string(10000, 'A')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::write_bytes(scratch / "bad.key", c.text);
        EXPECT_THROW(SigningKey::load(scratch / "bad.key", kQuiet), std::runtime_error);
    }
    EXPECT_THROW(SigningKey::load(scratch / "missing.key", kQuiet), std::runtime_error);
}

TEST(SigningKey, WarnsAboutAKeyFileOthersCanRead) {
    kyrtest::ScratchFolder scratch;
    const fs::path file = scratch / "store.key";
    SigningKey::generate(file);
    std::vector<std::string> notices;
    SigningKey::load(file, [&](const std::string& text) { notices.push_back(text); });
    EXPECT_TRUE(notices.empty());
    fs::permissions(file, fs::perms::group_read, fs::perm_options::add);
    SigningKey::load(file, [&](const std::string& text) { notices.push_back(text); });
    EXPECT_EQ(notices.size(), 1u);
}

} // namespace
