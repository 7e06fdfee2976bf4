#include "patch/patch_state.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;
using gu::patch::PatchState;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

std::string save_error(const PatchState& state, const fs::path& root) {
    try {
        state.save(root);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

TEST(PatchStateLoad, AnythingUnusableLoadsAsEmptyAndBadEntriesAreDropped) {
    struct Case {
        const char* name;
        const char* content; // nullptr: no file at all
        std::string version;
        std::map<std::string, std::string> files;
        std::string apk_sha;
    };
    const Case cases[] = {
        {"no file", nullptr, "", {}, ""},
        {"empty file", "", "", {}, ""},
        {"truncated JSON", R"({"version":"1.0","files":{)", "", {}, ""},
        {"top level array", R"([{"version":"1.0"}])", "", {}, ""},
        {"top level string", R"("1.0")", "", {}, ""},
        {"complete record",
         R"({"version":"1.0","files":{"b":"h2","a":"h1"},"apk_sha":"k"})",
         "1.0",
         {{"a", "h1"}, {"b", "h2"}},
         "k"},
        {"numbers and nulls dropped",
         R"({"version":"1.0","files":{"a":1,"b":null,"c":"h3","d":["h4"]}})",
         "1.0",
         {{"c", "h3"}},
         ""},
        {"files not an object", R"({"version":"2","files":["a"],"apk_sha":"k"})", "2", {}, "k"},
        {"members of the wrong kind", R"({"version":3,"files":{"a":"h"},"apk_sha":null})", "", {{"a", "h"}}, ""},
        {"unknown members ignored", R"({"other":1,"files":{"a":"h"}})", "", {{"a", "h"}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder root;
        if (c.content != nullptr) {
            write_bytes(root / "patchstate.json", c.content);
        }
        const PatchState state = PatchState::load(root.path());
        EXPECT_EQ(state.version, c.version);
        EXPECT_EQ(state.files, c.files);
        EXPECT_EQ(state.apk_sha, c.apk_sha);
    }
}

TEST(PatchStateLoad, AFolderInPlaceOfTheFileLoadsAsEmpty) {
    ScratchFolder root;
    fs::create_directories(root / "patchstate.json" / "x");
    EXPECT_TRUE(PatchState::load(root.path()).files.empty());
}

TEST(PatchStateSave, WritesCompactJsonWithPathsInByteOrder) {
    ScratchFolder root;
    PatchState state;
    state.version = "1.4.0";
    state.files = {{"b", "h2"}, {"Z/x", "h3"}, {"a", "h1"}, {"\xc3\xa9t\xc3\xa9", "h4"}, {"q\"\\", "h5"}};
    state.apk_sha = "k";
    state.save(root.path());
    EXPECT_EQ(read_bytes(root / "patchstate.json"),
              "{\"version\":\"1.4.0\",\"files\":{\"Z/x\":\"h3\",\"a\":\"h1\",\"b\":\"h2\",\"q\\\"\\\\\":\"h5\","
              "\"\xc3\xa9t\xc3\xa9\":\"h4\"},\"apk_sha\":\"k\"}");
    EXPECT_FALSE(fs::exists(root / "patchstate.json.tmp"));

    const PatchState loaded = PatchState::load(root.path());
    EXPECT_EQ(loaded.version, state.version);
    EXPECT_EQ(loaded.files, state.files);
    EXPECT_EQ(loaded.apk_sha, state.apk_sha);
}

TEST(PatchStateSave, EmptyRecordStillWritesEveryMember) {
    ScratchFolder root;
    PatchState().save(root.path());
    EXPECT_EQ(read_bytes(root / "patchstate.json"), R"({"version":"","files":{},"apk_sha":""})");
}

TEST(PatchStateSave, CreatesAMissingRootAndReplacesAnOlderFile) {
    ScratchFolder scratch;
    const fs::path root = scratch / "game" / "client";
    PatchState state;
    state.version = "1";
    state.save(root);
    state.version = "2";
    // A ".tmp" left by an interrupted save is truncated and reused.
    write_bytes(root / "patchstate.json.tmp", std::string(4096, 'x'));
    state.save(root);
    EXPECT_EQ(PatchState::load(root).version, "2");
    EXPECT_FALSE(fs::exists(root / "patchstate.json.tmp"));
}

TEST(PatchStateSave, ReportsEachFailureWithItsPrefix) {
    ScratchFolder root;
    const std::string target = (root / "patchstate.json").u8string();

    // The temporary name is taken by a folder: it cannot be opened.
    fs::create_directories(root / "patchstate.json.tmp" / "x");
    EXPECT_EQ(save_error(PatchState(), root.path()), "PatchState::save: cannot open for write: " + target + ".tmp");
    fs::remove_all(root / "patchstate.json.tmp");

    // The target is a non-empty folder: neither the move nor the copy can replace it, the temporary stays.
    fs::create_directories(root / "patchstate.json" / "x");
    const std::string error = save_error(PatchState(), root.path());
    EXPECT_EQ(error.rfind("PatchState::save: install failed: " + target + ": ", 0), 0u) << error;
    EXPECT_GT(error.size(), ("PatchState::save: install failed: " + target + ": ").size());
    EXPECT_EQ(read_bytes(root / "patchstate.json.tmp"), R"({"version":"","files":{},"apk_sha":""})");
}

TEST(PatchStateSave, EmptyRootIsTheCurrentFolder) {
    ScratchFolder dir;
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path());
    PatchState state;
    state.version = "here";
    EXPECT_NO_THROW(state.save(fs::path()));
    fs::current_path(previous);
    EXPECT_EQ(PatchState::load(dir.path()).version, "here");
}

TEST(PatchStateSave, RootThatIsAFileFailsWithTheFileSystemError) {
    ScratchFolder scratch;
    write_bytes(scratch / "root", "file");
    EXPECT_THROW(PatchState().save(scratch / "root"), fs::filesystem_error);
}

} // namespace
