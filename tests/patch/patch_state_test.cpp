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
        {"truncated JSON", R"({"version":"1.0","files":{)", "", {}, ""},
        {"top level array", R"([{"version":"1.0"}])", "", {}, ""},
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
        {"members of the wrong kind", R"({"version":3,"files":{"a":"h"},"apk_sha":null})", "", {{"a", "h"}}, ""},
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

} // namespace
