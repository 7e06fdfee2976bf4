#include "patch/trust_anchor.hpp"

#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using gu::patch::TrustAnchor;
using kyrtest::read_bytes;
using kyrtest::ScratchFolder;
using kyrtest::write_bytes;

using Files = std::map<std::string, std::vector<std::string>>;

TrustAnchor anchor(std::string version, Files files) {
    TrustAnchor result;
    result.version = std::move(version);
    result.files = std::move(files);
    return result;
}

// The anchored path list is process-wide: every test leaves it empty, as this launcher has it.
class TrustAnchorTest : public ::testing::Test {
protected:
    void TearDown() override { gu::patch::set_anchored_paths({}); }
};

TEST_F(TrustAnchorTest, LoadAcceptsListsOrSingleHashesAndDropsTheRest) {
    struct Case {
        const char* name;
        const char* content; // nullptr: no file
        std::string version;
        Files files;
    };
    const Case cases[] = {
        {"no file", nullptr, "", {}},
        {"malformed", R"({"version":"1","files":{"a":)", "", {}},
        {"mixed entries",
         R"({"version":"1","files":{"a":"x","b":["y",3,"z"],"c":[],"d":7,"e":null}})",
         "1",
         {{"a", {"x"}}, {"b", {"y", "z"}}}},
        {"no usable entry drops the version", R"({"version":"1","files":{}})", "", {}},
        {"only empty lists", R"({"version":"1","files":{"a":[],"b":[1]}})", "", {}},
        {"version of another kind", R"({"version":2,"files":{"a":"x"}})", "", {{"a", {"x"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder dir;
        if (c.content != nullptr) {
            write_bytes(dir / "trust_anchor.json", c.content);
        }
        const TrustAnchor loaded = TrustAnchor::load(dir.path());
        EXPECT_EQ(loaded.version, c.version);
        EXPECT_EQ(loaded.files, c.files);
    }
}

TEST_F(TrustAnchorTest, MergeKeepsCurrentHashesAndAddsTheTargetsNewOnes) {
    struct Case {
        const char* name;
        TrustAnchor current;
        TrustAnchor target;
        Files want;
    };
    const Case cases[] = {
        {"current without files", anchor("1", {}), anchor("2", {{"a", {"n"}}}), {}},
        {"old then new", anchor("1", {{"a", {"o"}}}), anchor("2", {{"a", {"n"}}}), {{"a", {"o", "n"}}}},
        {"target list partly known",
         anchor("1", {{"a", {"x", "y"}}}),
         anchor("2", {{"a", {"y", "z", "z"}}}),
         {{"a", {"x", "y", "z"}}}},
        {"path only in target left out", anchor("1", {{"a", {"o"}}}), anchor("2", {{"b", {"n"}}}), {{"a", {"o"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TrustAnchor merged = gu::patch::merge_anchors(c.current, c.target);
        EXPECT_EQ(merged.version, "2");
        EXPECT_EQ(merged.files, c.want);
    }
}

TEST_F(TrustAnchorTest, ForgetDeletesTheAnchorOnlyForAnAnchoredPath) {
    ScratchFolder dir;
    const TrustAnchor saved = anchor("1", {{"Main.exe", {"h"}}});
    saved.save(dir.path());
    gu::patch::set_anchored_paths({"Main.exe"});

    gu::patch::forget_anchored_file(dir.path(), "other.dll");
    gu::patch::forget_anchored_file(fs::path(), "Main.exe");
    EXPECT_TRUE(fs::exists(dir / "trust_anchor.json"));
    EXPECT_EQ(TrustAnchor::load(dir.path()).files, saved.files);

    gu::patch::forget_anchored_file(dir.path(), "Main.exe");
    EXPECT_FALSE(fs::exists(dir / "trust_anchor.json"));
    // The kept copy went with the file.
    EXPECT_TRUE(TrustAnchor::load(dir.path()).files.empty());
}

} // namespace
