// What kyr-store publishes and what it refuses: where it cuts chunks and packs (stable, so that a new publish
// shares everything away from a change with the stores before it), names that Windows and the engine accept,
// game folders that can be published faithfully, options, the signing key, and a store that grows version by
// version. That the engine installs what it publishes, byte for byte, is kyr_patch_program_test's round trip.

#include "tools/kyr-store/chunk_objects.hpp"
#include "tools/kyr-store/chunker.hpp"
#include "tools/kyr-store/command_line.hpp"
#include "tools/kyr-store/game_folder.hpp"
#include "tools/kyr-store/news.hpp"
#include "tools/kyr-store/packs.hpp"
#include "tools/kyr-store/publish.hpp"
#include "tools/kyr-store/signing_key.hpp"

#include "support/scratch_folder.hpp"

#include "patch/folder_fetcher.hpp"
#include "patch/sha256.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using kyrtest::read_bytes;

void put(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    kyrtest::write_bytes(file, bytes);
}

// The message of the exception that `action` throws, or "accepted".
std::string refusal(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "accepted";
}

constexpr std::size_t kMin = kyrstore::kDefaultChunkSizes.min;
constexpr std::size_t kMax = kyrstore::kDefaultChunkSizes.max;

std::string randomBytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

// The file is read through a buffer of a few chunks: its cuts must be those of the whole bytes.
TEST(Chunker, LengthsStayWithinTheBoundsWhateverTheReadSize) {
    kyrtest::ScratchFolder scratch;
    const struct {
        const char* name;
        std::string input;
        std::vector<std::size_t> want; // empty: only the bounds are checked
    } cases[] = {
        {"just under the minimum", randomBytes(kMin - 1, 1), {kMin - 1}},
        {"exactly the minimum", randomBytes(kMin, 2), {kMin}},
        {"random 6 MiB", randomBytes(6 << 20, 4), {}},
        {"zeros, no cut point in sight", std::string(3 * kMax + 5, '\0'), {kMax, kMax, kMax, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::size_t> lengths = kyrstore::chunk_lengths(c.input);
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i) {
            EXPECT_TRUE(lengths[i] >= kMin && lengths[i] <= kMax) << i << ": " << lengths[i];
        }
        EXPECT_TRUE(c.want.empty() || lengths == c.want);
        kyrtest::write_bytes(scratch / "file", c.input);
        kyrstore::FileChunker chunker(scratch / "file");
        std::vector<std::size_t> streamed;
        for (std::string_view chunk; chunker.next(chunk);) {
            streamed.push_back(chunk.size());
        }
        EXPECT_EQ(streamed, lengths);
    }
}

// The cut points are what lets a new publish share chunks with the stores before it: a change of the gear
// table, the masks or the warm-up passes every other test, yet makes every player download the whole game
// again. These are the cuts of the published format; they may only change with a new store format.
// Small sizes make cuts just after the minimum common, where only the warm-up decides them.
TEST(Chunker, CutsOfAFixedInputAreThoseOfThePublishedFormat) {
    const auto cuts = [](std::size_t size, const kyrstore::ChunkSizes& sizes) {
        std::vector<std::size_t> ends;
        std::size_t at = 0;
        for (const std::size_t length : kyrstore::chunk_lengths(randomBytes(size, 2026), sizes)) {
            ends.push_back(at += length);
        }
        return ends;
    };
    EXPECT_EQ(cuts(1 << 20, kyrstore::kDefaultChunkSizes),
              (std::vector<std::size_t>{53757, 233270, 320110, 400466, 483247, 551458, 620887, 697578, 765789, 857811,
                                        924795, 991548, 1048576}));
    EXPECT_EQ(cuts(1 << 12, {64, 128, 512}),
              (std::vector<std::size_t>{176,  318,  449,  580,  710,  871,  1015, 1170, 1269, 1462,
                                        1605, 1737, 1882, 2036, 2174, 2308, 2455, 2593, 2766, 2837,
                                        3025, 3161, 3310, 3468, 3577, 3742, 3884, 4015, 4096}));
}

constexpr std::uint64_t kTarget = 1 << 20;

// The number of packs, each checked to hold half to twice the target (the last one, and one after which
// comes a chunk larger than the target, may hold less; a single chunk may hold more). That packs away from
// a change stay the same files is kyr_patch_program_test's update through packs.
std::size_t checkedPacks(const std::vector<kyrstore::PackedChunk>& chunks) {
    const std::vector<std::size_t> ends = kyrstore::plan_pack_ends(chunks, kTarget);
    std::size_t begin = 0;
    for (const std::size_t end : ends) {
        std::uint64_t size = 0;
        for (std::size_t i = begin; i < end; ++i) {
            size += chunks[i].z;
        }
        EXPECT_TRUE(size <= 2 * kTarget || end - begin == 1) << "pack ending at " << end << ": " << size;
        EXPECT_TRUE(size >= kTarget / 2 || end == chunks.size() || chunks[end].z > kTarget) << end;
        begin = end;
    }
    EXPECT_EQ(begin, chunks.size());
    return ends.size();
}

TEST(PackPlan, PacksHoldHalfToTwiceTheTarget) {
    EXPECT_EQ(checkedPacks({}), 0u);
    EXPECT_EQ(checkedPacks({{"a", 10}, {"b", 3 * kTarget}}), 2u);
    checkedPacks({{"c", 900 << 10}, {"d", 900 << 10}, {"e", 900 << 10}, {"f", 900 << 10}});
    std::vector<kyrstore::PackedChunk> chunks;
    for (std::uint64_t i = 0; i < 3000; ++i) {
        chunks.push_back({gu::patch::sha256_hex(std::to_string(i)), 8000 + i * 7919 % 60000});
    }
    EXPECT_NEAR(3000 * 38000.0 / checkedPacks(chunks), kTarget, kTarget / 4) << "packs average about the target";
}

// A command line, its words split at blanks: the usage error, or empty.
std::string usageError(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    const std::string message = refusal([&] { kyrstore::parse_command_line(words); });
    return message == "accepted" ? "" : message;
}

TEST(KyrStoreRules, NamesAndOptionsAreCheckedBeforeAnythingIsRead) {
    const auto path = kyrstore::unpublishable_path_reason;
    const auto name = kyrstore::unsafe_name_reason;
    const std::string publish = "publish --key k --in g --out s --version 1 ";
    const struct {
        std::function<std::string(std::string_view)> rule;
        std::string input;
        const char* want; // part of the reason; empty: accepted
    } cases[] = {
        {path, "Data/Local/a..b.bmd", ""},
        {path, "Datos/ca\xc3\xb1\xc3\xb3n.txt", ""},
        {path, "a\\b", "not a safe relative path"},
        {path, "a\x7f", "control character"},
        {path, "x /y", "trailing dot or blank"},
        {path, "Data/nul.txt", "reserved device name"},
        {path, "Data/x.updpart", "updater's own"},
        {path, "a\xff", "UTF-8"},
        {path, "a\xc0\xaf", "UTF-8"},     // overlong "/"
        {path, "a\xe0\x80\xaf", "UTF-8"}, // overlong "/" in three bytes
        {path, "a\xed\xa0\x80", "UTF-8"}, // surrogate
        {name, std::string(129, 'v'), "1 to 128"},
        {name, ".hidden", "."},
        {name, "a/b", "only A-Z"},
        {usageError, publish + "--level 22 --threads 256 --pack-size 65536 --preserve a/*.ini", ""},
        {usageError, "", "no command"},
        {usageError, "publish --key k --in g --out s", "--version"},
        {usageError, publish + "--level 0", "--level"},
        {usageError, publish + "--level 23", "--level"},
        {usageError, publish + "--threads 257", "--threads"},
        {usageError, publish + "--pack-size 65535", "--pack-size"},
        {usageError, publish + "--version 1/2", "invalid version"},
        {usageError, publish + "--preserve Data\\*.ini", "invalid --preserve"},
        {usageError, publish + "--expires 36501", "--expires must be between 1 and 36500 days"},
        {usageError, "resign --key k --out s --expires 30 --channel beta", ""},
        {usageError, "resign --key k --out s --expires 0", "--expires must be between 1 and 36500 days"},
        {usageError, "resign --key k --expires 30", "resign needs --key and --out"},
        {usageError, "prune --out s --keep 1 --dry-run", ""},
        {usageError, "prune --out s --keep 0", "--keep must be at least 1"},
        {usageError, "prune --out s", "needs --out and --keep"},
        {usageError, "verify --all --out s --pubkey 11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=", ""},
        {usageError, "verify --out s --pubkey c2hvcnQ=", "--pubkey needs"},
        {usageError, "verify --all", "needs --out"},
        {usageError, "news --key k --in n.json --out s --channel beta", ""},
        {usageError, "news --key k --in n.json", "--out"},
        {usageError, "news --key k --in n.json --out s --channel a/b", "invalid channel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const std::string reason = c.rule(c.input);
        EXPECT_EQ(reason.empty(), *c.want == '\0') << reason;
        EXPECT_NE(reason.find(c.want), std::string::npos) << reason;
    }
}

// That the engine verifies what the key signs is kyr_patch_program_test's round trip.
TEST(KyrStoreSigningKey, IsKeptPrivateNeverOverwrittenAndRefusedWhenItHoldsNoKey) {
    kyrtest::ScratchFolder scratch;
    const fs::path file = scratch / "store.key";
    kyrstore::SigningKey::generate(file);
    struct stat info {};
    EXPECT_TRUE(::stat(file.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600);
    const std::string keyText = read_bytes(file);
    EXPECT_NE(refusal([&] { kyrstore::SigningKey::generate(file); }), "accepted");
    EXPECT_EQ(read_bytes(file), keyText) << "a key file is never overwritten";

    std::string flipped = keyText;
    flipped[60] = flipped[60] == 'A' ? 'B' : 'A'; // inside the public half
    for (const std::string& text :
         {std::string(), std::string("not a key\n"), keyText.substr(0, 44) + "\n", flipped, std::string(10000, 'A')}) {
        kyrtest::write_bytes(scratch / "bad.key", text);
        EXPECT_NE(refusal([&] { kyrstore::SigningKey::load(scratch / "bad.key", [](auto&) {}); }), "accepted") << text;
    }
}

// What the operator publishes is what the launcher shows: the document passes the launcher's own fetch
// (signature, size limit) and checks; bad input names its file and field, and the store stays untouched.
TEST(KyrStoreNews, WritesWhatTheLauncherAcceptsAndRefusesBadInput) {
    kyrtest::ScratchFolder scratch;
    kyrstore::SigningKey::generate(scratch / "key");
    const std::string input = R"({ "headline": "Winter", "items": [ {"title": "Patch 1.2", "body": "New dungeon.\n)"
                              R"(Archers.", "date": "2026-12-01", "link": "https://example.com/n"}, {"title": )"
                              R"("Ca\u00f1a", "body": "b"} ] })";
    put(scratch / "news.json", input);
    kyrstore::NewsOptions options{scratch / "key", scratch / "news.json", scratch / "store", "beta"};
    const kyrstore::NewsSummary summary = kyrstore::publish_news(options, {});
    gu::patch::FolderFetcher store((scratch / "store").string());
    const std::string shown =
        gu::patch::get_signed(store, "v1/news/beta.json", summary.public_key, gu::patch::kMaxNewsDocumentBytes);
    EXPECT_EQ(kyrstore::news_json(gu::patch::parse_news(shown)), kyrstore::news_json(gu::patch::parse_news(input)));
    EXPECT_EQ(shown.find(' '), shown.find("Patch 1.2") + 5) << "written compact";

    put(scratch / "news.json", R"({"items": [{"title": "t", "body": "b", "link": "http://example.com/"}]})");
    options.store_dir = scratch / "other";
    EXPECT_EQ(refusal([&] { kyrstore::publish_news(options, {}); }),
              (scratch / "news.json").string() + ": items[0].link: only https:// links are allowed");
    EXPECT_FALSE(fs::exists(options.store_dir));
}

class KyrStorePublish : public ::testing::Test {
public:
    KyrStorePublish() { makeGame(); }

    void makeGame() {
        fs::remove_all(scratch_.path());
        fs::create_directories(scratch_.path());
        kyrstore::SigningKey::generate(scratch_ / "key");
        std::string big(3 << 20, '\0');
        for (std::size_t i = 0; i < big.size(); i += 32) {
            big.replace(i, 32, gu::patch::sha256_hex(std::to_string(i)).substr(0, 32));
        }
        put(game() / "Data" / "big.bin", big);
        put(game() / "Data" / "copy.bin", big.substr(1 << 20));
        put(game() / "a" / "b" / "deep.txt", "deep\n");
        put(game() / "empty.dat", "");
        // A client folder that the launcher updated: the updater's own files are left out, with a notice.
        for (const char* file : {"patchstate.json", ".update_done", ".UpdStage/Main.exe", "a/x.updpart"}) {
            put(game() / file, file);
        }
    }

    fs::path game() const { return scratch_ / "game"; }
    fs::path store() const { return scratch_ / "store"; }

    kyrstore::PublishOptions options(const std::string& version) const {
        kyrstore::PublishOptions options;
        options.key_file = scratch_ / "key";
        options.game_dir = game();
        options.store_dir = store();
        options.version = version;
        options.pack_size = 512 * 1024;
        options.threads = 3;
        return options;
    }

    kyrstore::PublishSummary run(const kyrstore::PublishOptions& options) {
        return kyrstore::publish(options, {[&](const std::string& text) { notices_.push_back(text); }, {}, {}});
    }

    kyrtest::ScratchFolder scratch_;
    std::vector<std::string> notices_;
};

TEST_F(KyrStorePublish, RefusesWithoutPublishingAnything) {
    const struct {
        const char* name;
        std::function<void(KyrStorePublish&, kyrstore::PublishOptions&)> arrange;
        const char* message;
    } cases[] = {
        {"files differing in case", [](auto& t, auto&) { put(t.game() / "EMPTY.dat", "x"); }, "same file on Windows"},
        {"file and folder differing in case", [](auto& t, auto&) { put(t.game() / "A", "x"); }, "a file and a folder"},
        {"link to a file", [](auto& t, auto&) { fs::create_symlink("/etc/passwd", t.game() / "p"); },
         "symbolic link \"p\""},
        {"named pipe", [](auto& t, auto&) { ::mkfifo((t.game() / "pipe").c_str(), 0600); }, "special file \"pipe\""},
        {"empty folder", [](auto& t, auto&) { fs::remove_all(t.game()), fs::create_directories(t.game()); },
         "no files to publish"},
        {"store inside the game", [](auto& t, auto& o) { o.store_dir = t.game() / "store"; }, "inside the game folder"},
        {"a file where the chunk folders belong", [](auto& t, auto&) { put(t.store() / "v1" / "chunks", "x"); },
         "cannot create folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeGame();
        kyrstore::PublishOptions options = this->options("1.0.0");
        c.arrange(*this, options);
        const std::string message = refusal([&] { run(options); });
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(options.store_dir / "v1" / "channels"));
    }
}

// A store as an operator grows it: a second version shares the unchanged chunks and packs and repairs a
// damaged object; a published version is never replaced by other content, nor the channel repointed to
// another platform; a publish with another key gets a warning. Every channel written has the next serial,
// and only a channel signed with the key is signed again.
TEST_F(KyrStorePublish, SecondVersionReusesObjectsAndNeverRewritesAPublishedOne) {
    kyrstore::PublishOptions first = options("1.0.0");
    first.preserve = {"Data/Local/*.ini"};
    const kyrstore::PublishSummary summary = run(first);
    const auto serial = [&] {
        return gu::patch::parse_channel(read_bytes(store() / "v1/channels/windows.json")).serial.value_or(0);
    };
    EXPECT_EQ(serial(), 1u);
    EXPECT_LT(summary.chunks, summary.chunk_uses) << "copy.bin re-uses the chunks of big.bin";
    const std::string manifest = "v1/manifests/windows-x86/1.0.0.json";
    const gu::patch::Manifest published = gu::patch::parse_manifest(read_bytes(store() / manifest));
    EXPECT_EQ(published.preserve, first.preserve);
    std::vector<std::string> paths;
    for (const gu::patch::ManifestFile& file : published.files) {
        paths.push_back(file.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"Data/big.bin", "Data/copy.bin", "a/b/deep.txt", "empty.dat"}));
    EXPECT_EQ(notices_.size(), 4u);

    const fs::path deep = kyrstore::chunk_object_path(store(), gu::patch::sha256_hex("deep\n"));
    kyrtest::write_bytes(deep, "not zstd");
    std::string big = read_bytes(game() / "Data" / "big.bin");
    put(game() / "Data" / "big.bin", big.insert(big.size() / 2, "a patch in the middle"));
    const kyrstore::PublishSummary second = run(options("1.0.1"));
    EXPECT_LE(second.chunks_written, 4u);
    EXPECT_EQ(second.chunks_repaired, 1u);
    EXPECT_NE(read_bytes(deep), "not zstd");
    EXPECT_LT(second.packs_written, second.packs) << "packs away from the change are the same files";

    EXPECT_EQ(serial(), 2u);
    const auto index = gu::patch::parse_pack_index(read_bytes(store() / "v1/packs/index-windows.json"));
    const fs::path pack = store() / "v1/packs" / index.packs.at(0).name;
    put(pack, "!" + read_bytes(pack).substr(1));
    EXPECT_EQ(refusal([&] { run(options("1.0.1")); }), "accepted") << "the same content again";
    EXPECT_EQ(gu::patch::sha256_hex(read_bytes(pack)) + ".pack", pack.filename().string())
        << "a damaged pack is redone";
    EXPECT_EQ(serial(), 3u);
    const std::string channel = read_bytes(store() / "v1/channels/windows.json");
    put(game() / "a" / "b" / "deep.txt", "changed");
    EXPECT_NE(refusal([&] { run(options("1.0.1")); }).find("already published"), std::string::npos);
    kyrstore::PublishOptions otherPlatform = options("1.0.2");
    otherPlatform.platform = "windows-x64";
    EXPECT_NE(refusal([&] { run(otherPlatform); }), "accepted");
    EXPECT_EQ(read_bytes(store() / "v1/channels/windows.json"), channel);

    kyrstore::SigningKey::generate(scratch_ / "other.key");
    kyrstore::PublishOptions rotated = options("1.0.3");
    rotated.key_file = scratch_ / "other.key";
    run(rotated);
    EXPECT_EQ(serial(), 4u);
    const std::string foreign = refusal([&] { kyrstore::resign({scratch_ / "key", store(), "windows", {}}, {}); });
    EXPECT_NE(foreign.find("is not signed with this key"), std::string::npos) << foreign;
    kyrstore::resign({rotated.key_file, store(), "windows", {}}, {});
    EXPECT_EQ(serial(), 5u);
    EXPECT_EQ(std::count_if(notices_.begin(), notices_.end(),
                            [](auto& text) { return text.find("not signed with this key") != std::string::npos; }),
              1);
}

} // namespace
