#include "patch/previous_version.hpp"

#include "patch/local_path.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::read_bytes;
using kyrtest::write_bytes;

using Place = std::tuple<std::string, std::uint64_t, std::uint64_t>;

std::map<std::string, Place> places(const LocalChunkMap& chunks) {
    std::map<std::string, Place> result;
    for (const auto& [hash, ref] : chunks) {
        result[hash] = Place{ref.path, ref.offset, ref.length};
    }
    return result;
}

// Saves the manifest of `files` (4-byte chunks) as the previous version's and writes the files.
void install_previous(const fs::path& root, const kyrtest::FileMap& files) {
    kyrtest::TestStore store;
    kyrtest::StoreOptions options;
    options.chunk_size = 4;
    store.publish(files, options);
    save_previous_manifest(root, store.objects.at(store.manifest_path()));
    for (const auto& [path, content] : files) {
        fs::create_directories(local_path(root, path).parent_path());
        write_bytes(local_path(root, path), content);
    }
}

TEST(PreviousVersionChunks, MapsOnlyFilesThatAreStillAsThatVersionLeftThem) {
    kyrtest::ScratchFolder root;
    const kyrtest::FileMap files = {{"keep.bin", "AAAABBBBAAAACC"}, {"other_hash.bin", "DDDD"},
                                    {"no_entry.bin", "EEEE"},       {"resized.bin", "FFFF"},
                                    {"missing.bin", "GGGG"},        {"a//b.bin", "HHHH"}};
    install_previous(root.path(), files);
    write_bytes(root / "resized.bin", "FFFFF");
    fs::remove(root / "missing.bin");
    PatchState state;
    for (const auto& [path, content] : files) {
        state.files[path] = sha256_hex(content);
    }
    state.files["other_hash.bin"] = std::string(64, 'a');
    state.files.erase("no_entry.bin");

    const PreviousVersionChunks previous = PreviousVersionChunks::load(root.path(), load_previous_manifest(root.path()), state);

    // "a//b.bin" is on disk as a/b.bin with the right size: only the path rule keeps it out.
    const std::map<std::string, Place> want = {{sha256_hex("AAAA"), Place{"keep.bin", 0, 4}},
                                               {sha256_hex("BBBB"), Place{"keep.bin", 4, 4}},
                                               {sha256_hex("CC"), Place{"keep.bin", 12, 2}}};
    EXPECT_EQ(places(previous.chunks()), want);
}

TEST(PreviousVersionChunks, ForgottenFileIsNoLongerReadAndAnotherHolderTakesOver) {
    kyrtest::ScratchFolder root;
    const kyrtest::FileMap files = {{"a.bin", "AAAABBBB"}, {"b.bin", "CCCCAAAA"}};
    install_previous(root.path(), files);
    PatchState state;
    for (const auto& [path, content] : files) {
        state.files[path] = sha256_hex(content);
    }
    PreviousVersionChunks previous = PreviousVersionChunks::load(root.path(), load_previous_manifest(root.path()), state);
    ASSERT_EQ(places(previous.chunks()).at(sha256_hex("AAAA")), (Place{"a.bin", 0, 4}));

    previous.forget_file("a.bin");
    EXPECT_EQ(places(previous.chunks()), (std::map<std::string, Place>{{sha256_hex("AAAA"), Place{"b.bin", 4, 4}},
                                                                       {sha256_hex("CCCC"), Place{"b.bin", 0, 4}}}));
}

} // namespace
