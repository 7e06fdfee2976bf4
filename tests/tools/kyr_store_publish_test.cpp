// Publishes generated game folders and reads the store back with the engine's own functions, the way the
// updater will: signed documents through get_signed, chunks through fetch_chunk from packs and from
// per-chunk objects, every file reassembled byte for byte.

#include "tools/kyr-store/publish.hpp"

#include "tools/kyr-store/chunk_objects.hpp"
#include "tools/kyr-store/signing_key.hpp"

#include "support/scratch_folder.hpp"

#include "patch/base64.hpp"
#include "patch/chunk_fetch.hpp"
#include "patch/ed25519.hpp"
#include "patch/errors.hpp"
#include "patch/sha256.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"
#include "patch/zstd_codec.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <random>
#include <set>
#include <stdexcept>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using kyrstore::PublishOptions;
using kyrstore::PublishSummary;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

std::string random_bytes(std::size_t size, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

std::string text_bytes(std::size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line) {
        text += "line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog\n";
    }
    text.resize(size);
    return text;
}

void put(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    write_bytes(file, bytes);
}

// The store folder as the engine's transport would serve it.
class StoreFolder : public gu::patch::Fetcher, public gu::patch::ChunkObjects, public gu::patch::PackFiles {
public:
    StoreFolder(fs::path root, const gu::patch::PackIndex& index) : root_(std::move(root)), index_(index) {}

    std::string get(const std::string& path, std::uint64_t) override {
        const std::string bytes = read_bytes(root_ / path);
        if (bytes == "<missing>") {
            throw gu::patch::FetchError("HTTP 404 " + path);
        }
        return bytes;
    }
    void download(const std::string&, const std::string&) override { FAIL() << "not used"; }
    void download_from(const std::string&, const std::string&, std::uint64_t) override { FAIL() << "not used"; }

    std::string retry_fetch(const std::string& path, std::uint64_t expected_size, bool,
                            const gu::patch::LogLine&) override {
        return get(path, expected_size);
    }

    std::optional<fs::path> pack_for_chunk(std::uint32_t pack) override {
        return root_ / "v1" / "packs" / index_.packs.at(pack).name;
    }

private:
    fs::path root_;
    const gu::patch::PackIndex& index_;
};

struct ReadBack {
    gu::patch::Channel channel;
    gu::patch::Manifest manifest;
    gu::patch::PackIndex index;
};

// Everything an update run needs from the store, checked as the engine checks it; files are compared with
// the game folder byte for byte.
ReadBack read_back(const fs::path& store, const fs::path& game, const std::string& public_key,
                   const PublishOptions& options) {
    ReadBack back;
    StoreFolder folder(store, back.index);
    const std::string channel_path = "v1/channels/" + options.channel + ".json";
    back.channel = gu::patch::parse_channel(gu::patch::get_signed(folder, channel_path, public_key));
    EXPECT_EQ(back.channel.product, options.product);
    EXPECT_EQ(back.channel.platform, options.platform);
    EXPECT_EQ(back.channel.latest, options.version);
    EXPECT_EQ(back.channel.updated_at.size(), 20u);

    const std::string manifest_path = options.flat_manifest
                                          ? "v1/manifests/" + back.channel.latest + ".json"
                                          : "v1/manifests/" + options.platform + "/" + back.channel.latest + ".json";
    back.manifest = gu::patch::parse_manifest(gu::patch::get_signed(folder, manifest_path, public_key));
    gu::patch::validate_manifest(back.manifest, options.product, options.platform);
    EXPECT_EQ(back.manifest.version, options.version);
    EXPECT_EQ(back.manifest.channel, options.channel);
    EXPECT_EQ(back.manifest.preserve, options.preserve);
    back.index = gu::patch::parse_pack_index(
        gu::patch::get_signed(folder, "v1/packs/index-" + options.channel + ".json", public_key));
    EXPECT_EQ(back.index.version, options.version);

    // Every chunk object: decompresses to n bytes that hash to its name, and its pack range is the same bytes.
    std::uint64_t total = 0;
    for (const gu::patch::ManifestFile& file : back.manifest.files) {
        SCOPED_TRACE(file.path);
        total += file.size;
        for (const gu::patch::ManifestChunk& chunk : file.chunks) {
            const std::string object = read_bytes(store / gu::patch::chunk_path(chunk.h));
            EXPECT_EQ(object.size(), chunk.z);
            EXPECT_EQ(gu::patch::sha256_hex(gu::patch::zstd_decompress(object, chunk.n)), chunk.h);
            EXPECT_EQ(ZSTD_getFrameContentSize(object.data(), object.size()), chunk.n);
            const auto location = back.index.chunks.find(chunk.h);
            EXPECT_NE(location, back.index.chunks.end());
            if (location != back.index.chunks.end()) {
                const gu::patch::PackEntry& pack = back.index.packs.at(location->second.pack);
                EXPECT_EQ(read_bytes(store / "v1" / "packs" / pack.name)
                              .substr(location->second.offset, location->second.length),
                          object);
            }
        }
    }
    EXPECT_EQ(back.manifest.total_size, total);
    for (const gu::patch::PackEntry& pack : back.index.packs) {
        const std::string bytes = read_bytes(store / "v1" / "packs" / pack.name);
        EXPECT_EQ(bytes.size(), pack.size);
        EXPECT_EQ(gu::patch::sha256_hex(bytes), pack.sha256);
    }

    // Reassembly as the updater does it: once through the packs, once object by object.
    for (const bool use_packs : {true, false}) {
        SCOPED_TRACE(use_packs ? "from packs" : "from chunk objects");
        gu::patch::LocalChunkMap local;
        gu::patch::LocalChunkMap previous;
        gu::patch::ChunkSet verified;
        gu::patch::PrefetchedChunks prefetched;
        std::uint32_t obtained = 0;
        std::uint64_t downloaded = 0;
        const gu::patch::LogLine log;
        gu::patch::RangeReader files;
        gu::patch::ChunkFetchContext context{
            local,      game,   previous, game, use_packs, back.index, folder, verified, {obtained, downloaded},
            prefetched, folder, log,      files};
        for (const gu::patch::ManifestFile& file : back.manifest.files) {
            SCOPED_TRACE(file.path);
            std::string bytes;
            for (const gu::patch::ManifestChunk& chunk : file.chunks) {
                bytes += gu::patch::fetch_chunk(context, chunk);
            }
            EXPECT_EQ(gu::patch::sha256_hex(bytes), file.sha256);
            EXPECT_TRUE(bytes == read_bytes(game / file.path));
        }
        EXPECT_EQ(downloaded == 0, use_packs) << "with packs no chunk object is needed";
    }
    return back;
}

std::set<std::string> files_below(const fs::path& folder) {
    std::set<std::string> names;
    if (fs::exists(folder)) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            names.insert(entry.path().lexically_relative(folder).generic_string());
        }
    }
    return names;
}

class Publish : public ::testing::Test {
public:
    void SetUp() override {
        public_key_ = kyrstore::SigningKey::generate(scratch_ / "key").public_key_base64();
        put(game() / "Data" / "big.bin", random_bytes(3 * 1024 * 1024, 1));
        put(game() / "Data" / "Local" / "text.txt", text_bytes(1024 * 1024));
        put(game() / "Data" / "copy.bin", read_bytes(game() / "Data" / "big.bin").substr(1024 * 1024));
        put(game() / "a" / "b" / "c" / "deep.txt", "deep\n");
        put(game() / "empty.dat", "");
        put(game() / "Main.exe", random_bytes(100, 2));
    }

    fs::path game() const { return scratch_ / "game"; }
    fs::path store() const { return scratch_ / "store"; }

    PublishOptions options(const std::string& version) const {
        PublishOptions options;
        options.key_file = scratch_ / "key";
        options.game_dir = game();
        options.store_dir = store();
        options.version = version;
        options.pack_size = 512 * 1024;
        options.threads = 3;
        return options;
    }

    PublishSummary run(const PublishOptions& options) {
        kyrstore::PublishObserver observer;
        observer.notice = [&](const std::string& text) { notices_.push_back(text); };
        return kyrstore::publish(options, observer);
    }

    kyrtest::ScratchFolder scratch_;
    std::string public_key_;
    std::vector<std::string> notices_;
    bool store_below_game_ = false;
};

TEST_F(Publish, GeneratedFolderReadsBackWithTheEngine) {
    PublishOptions first = options("1.0.0");
    first.preserve = {"Data/Local/*.ini", "launcher.ini"};
    const PublishSummary summary = run(first);
    const ReadBack back = read_back(store(), game(), public_key_, first);

    EXPECT_EQ(summary.public_key, public_key_);
    EXPECT_EQ(summary.files, 6u);
    std::vector<std::string> paths;
    for (const auto& file : back.manifest.files) {
        paths.push_back(file.path);
    }
    const std::vector<std::string> sorted = {"Data/Local/text.txt", "Data/big.bin", "Data/copy.bin", "Main.exe",
                                             "a/b/c/deep.txt",      "empty.dat"};
    EXPECT_EQ(paths, sorted);
    EXPECT_TRUE(back.manifest.files.back().chunks.empty()) << "an empty file has no chunks";
    EXPECT_EQ(summary.chunks_written, summary.chunks);
    EXPECT_LT(summary.chunks, summary.chunk_uses) << "copy.bin re-uses the chunks of big.bin";
    EXPECT_EQ(back.index.chunks.size(), summary.chunks);
    EXPECT_GT(back.index.packs.size(), 2u);
    EXPECT_EQ(summary.packs_written, summary.packs);
    for (const std::string& name : files_below(store())) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
    EXPECT_TRUE(notices_.empty());
}

TEST_F(Publish, ThreadCountDoesNotChangeTheStore) {
    PublishOptions one = options("1.0.0");
    one.threads = 1;
    PublishOptions many = options("1.0.0");
    many.threads = 8;
    many.store_dir = scratch_ / "store8";
    run(one);
    run(many);
    const std::string manifest = "v1/manifests/windows-x86/1.0.0.json";
    EXPECT_EQ(read_bytes(store() / manifest), read_bytes(many.store_dir / manifest));
    EXPECT_EQ(files_below(store() / "v1" / "packs"), files_below(many.store_dir / "v1" / "packs"));
}

TEST_F(Publish, SecondVersionReusesObjectsAndPacks) {
    const PublishSummary first = run(options("1.0.0"));
    std::string big = read_bytes(game() / "Data" / "big.bin");
    big.insert(big.size() / 2, "a patch in the middle");
    put(game() / "Data" / "big.bin", big);
    put(game() / "Data" / "new.txt", "a new file\n");
    fs::remove(game() / "Main.exe");
    const PublishOptions second_options = options("1.0.1");
    const PublishSummary second = run(second_options);
    read_back(store(), game(), public_key_, second_options);

    EXPECT_LE(second.chunks_written, 4u);
    EXPECT_GE(second.chunks_reused + 4, first.chunks);
    EXPECT_LT(second.packs_written, second.packs) << "packs away from the change are the same files";
    EXPECT_TRUE(fs::exists(store() / "v1/manifests/windows-x86/1.0.0.json"));
    EXPECT_TRUE(fs::exists(store() / "v1/manifests/windows-x86/1.0.0.json.sig"));
}

TEST_F(Publish, DamagedObjectIsRewritten) {
    run(options("1.0.0"));
    const std::string text_chunk = gu::patch::sha256_hex(read_bytes(game() / "a" / "b" / "c" / "deep.txt"));
    const fs::path object = kyrstore::chunk_object_path(store(), text_chunk);
    write_bytes(object, "not zstd");
    const PublishOptions again = options("1.0.1");
    const PublishSummary summary = run(again);
    EXPECT_EQ(summary.chunks_repaired, 1u);
    read_back(store(), game(), public_key_, again);
}

TEST_F(Publish, SameVersionRepublishesOnlyWithTheSameContent) {
    PublishOptions flat = options("2.0");
    flat.flat_manifest = true;
    run(flat);
    run(flat);
    read_back(store(), game(), public_key_, flat);
    const std::string channel = read_bytes(store() / "v1/channels/windows.json");

    put(game() / "Main.exe", "changed");
    try {
        run(flat);
        FAIL() << "a changed folder must not be published under a published version";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("already published"), std::string::npos) << e.what();
    }
    EXPECT_EQ(read_bytes(store() / "v1/channels/windows.json"), channel);
}

TEST_F(Publish, RefusesWithoutPublishingAnything) {
    struct Case {
        const char* name;
        std::function<void(Publish&)> arrange;
        const char* message;
    };
    const Case cases[] = {
        {"colon in a name", [](Publish& t) { put(t.game() / "Data" / "a:b.txt", "x"); }, "\"Data/a:b.txt\""},
        {"backslash in a name", [](Publish& t) { put(t.game() / "Data\\evil.txt", "x"); }, "Data\\evil.txt"},
        {"control byte", [](Publish& t) { put(t.game() / "tab\there", "x"); }, "control character"},
        {"device name", [](Publish& t) { put(t.game() / "Data" / "nul.txt", "x"); }, "reserved device name"},
        {"case twins", [](Publish& t) { put(t.game() / "main.exe", "x"); }, "\"Main.exe\" and \"main.exe\""},
        {"trailing blank", [](Publish& t) { put(t.game() / "Data " / "x", "x"); }, "\"Data /x\""},
        {"symbolic link", [](Publish& t) { fs::create_symlink("/etc/passwd", t.game() / "Data" / "passwd"); },
         "symbolic link"},
        {"empty folder",
         [](Publish& t) {
             fs::remove_all(t.game());
             fs::create_directories(t.game());
         },
         "no files to publish"},
        {"store inside the game", [](Publish& t) { t.store_below_game_ = true; }, "inside the game folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(scratch_.path());
        fs::create_directories(scratch_.path());
        SetUp();
        store_below_game_ = false;
        c.arrange(*this);
        PublishOptions refused = options("1.0.0");
        if (store_below_game_) {
            refused.store_dir = game() / "store";
        }
        try {
            run(refused);
            ADD_FAILURE() << "published";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(refused.store_dir / "v1"));
    }
}

TEST_F(Publish, StoreWriteFailureEndsThePublish) {
    fs::create_directories(store() / "v1");
    write_bytes(store() / "v1" / "chunks", "a file where the chunk folders belong");
    try {
        run(options("1.0.0"));
        FAIL() << "published";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create folder"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(store() / "v1" / "channels"));
}

TEST_F(Publish, RefusesToRepointAChannelOfAnotherPlatform) {
    run(options("1.0.0"));
    PublishOptions other = options("1.0.1");
    other.platform = "windows-x64";
    EXPECT_THROW(run(other), std::runtime_error);
    EXPECT_FALSE(fs::exists(store() / "v1/manifests/windows-x64"));
}

TEST_F(Publish, WarnsWhenTheChannelWasSignedWithAnotherKey) {
    run(options("1.0.0"));
    kyrstore::SigningKey::generate(scratch_ / "other.key");
    PublishOptions rotated = options("1.0.1");
    rotated.key_file = scratch_ / "other.key";
    run(rotated);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find("not signed with this key"), std::string::npos);
}

TEST(PublishOptions, ProblemsAreFoundBeforeAnythingIsRead) {
    struct Case {
        const char* name;
        std::function<void(PublishOptions&)> change;
        const char* want; // empty: no problem
    };
    const Case cases[] = {
        {"defaults", [](PublishOptions&) {}, ""},
        {"version with a slash", [](PublishOptions& o) { o.version = "1/2"; }, "invalid version"},
        {"empty channel", [](PublishOptions& o) { o.channel = ""; }, "invalid channel"},
        {"empty preserve", [](PublishOptions& o) { o.preserve = {""}; }, "invalid --preserve"},
        {"backslash preserve", [](PublishOptions& o) { o.preserve = {"Data\\*.ini"}; }, "invalid --preserve"},
        {"tiny packs", [](PublishOptions& o) { o.pack_size = 1000; }, "--pack-size"},
        {"level 0", [](PublishOptions& o) { o.level = 0; }, "--level"},
        {"level 23", [](PublishOptions& o) { o.level = 23; }, "--level"},
        {"level 22", [](PublishOptions& o) { o.level = 22; }, ""},
        {"too many threads", [](PublishOptions& o) { o.threads = 257; }, "--threads"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PublishOptions options;
        options.version = "1.0.0";
        c.change(options);
        const std::string problem = kyrstore::option_problem(options);
        if (*c.want == '\0') {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.want), std::string::npos) << problem;
        }
    }
}

} // namespace
