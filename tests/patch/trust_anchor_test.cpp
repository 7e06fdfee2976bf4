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
        {"empty file", "", "", {}},
        {"malformed", R"({"version":"1","files":{"a":)", "", {}},
        {"top level array", R"([])", "", {}},
        {"mixed entries",
         R"({"version":"1","files":{"a":"x","b":["y",3,"z"],"c":[],"d":7,"e":null}})",
         "1",
         {{"a", {"x"}}, {"b", {"y", "z"}}}},
        {"no usable entry drops the version", R"({"version":"1","files":{}})", "", {}},
        {"only empty lists", R"({"version":"1","files":{"a":[],"b":[1]}})", "", {}},
        {"files not an object", R"({"version":"1","files":["a"]})", "", {}},
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

TEST_F(TrustAnchorTest, EmptyFolderNameGivesAnEmptyAnchor) {
    const TrustAnchor loaded = TrustAnchor::load(fs::path());
    EXPECT_TRUE(loaded.version.empty());
    EXPECT_TRUE(loaded.files.empty());
}

TEST_F(TrustAnchorTest, SaveWritesCompactJsonAndCreatesTheFolder) {
    ScratchFolder scratch;
    const fs::path dir = scratch / "anchor" / "dir";
    anchor("2.0", {{"b", {"h3"}}, {"a", {"h1", "h2"}}, {"empty", {}}}).save(dir);
    EXPECT_EQ(read_bytes(dir / "trust_anchor.json"), R"({"version":"2.0","files":{"a":["h1","h2"],"b":["h3"]}})");
    EXPECT_FALSE(fs::exists(dir / "trust_anchor.json.tmp"));
}

TEST_F(TrustAnchorTest, SavedAnchorLoadsBackEvenAfterAnEarlierLoad) {
    ScratchFolder dir;
    EXPECT_TRUE(TrustAnchor::load(dir.path()).files.empty());
    const TrustAnchor saved = anchor("2.0", {{"a", {"h1", "h2"}}});
    saved.save(dir.path());
    EXPECT_EQ(TrustAnchor::load(dir.path()).files, saved.files);
    EXPECT_EQ(TrustAnchor::load(dir.path()).version, "2.0");
}

TEST_F(TrustAnchorTest, SaveFailuresCarryTheirOwnPrefix) {
    ScratchFolder dir;
    fs::create_directories(dir / "trust_anchor.json.tmp" / "x");
    try {
        anchor("1", {{"a", {"h"}}}).save(dir.path());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "TrustAnchor::save: cannot open for write: " + (dir / "trust_anchor.json.tmp").u8string());
    }
}

TEST_F(TrustAnchorTest, AnchorFromManifestTakesOnlyAnchoredFiles) {
    gu::patch::Manifest manifest;
    manifest.version = "3.1";
    manifest.files = {{"Main.exe", 1, "m1", {}}, {"Data/a.bmd", 1, "d1", {}}, {"other.dll", 1, "o1", {}}};

    const TrustAnchor unanchored = gu::patch::anchor_from_manifest(manifest);
    EXPECT_EQ(unanchored.version, "3.1");
    EXPECT_TRUE(unanchored.files.empty());

    gu::patch::set_anchored_paths({"Main.exe", "Data/a.bmd", "absent.bin"});
    const TrustAnchor anchored = gu::patch::anchor_from_manifest(manifest);
    EXPECT_EQ(anchored.version, "3.1");
    EXPECT_EQ(anchored.files, (Files{{"Data/a.bmd", {"d1"}}, {"Main.exe", {"m1"}}}));
}

TEST_F(TrustAnchorTest, AnchoredPathsAreHandedOutAsACopy) {
    gu::patch::set_anchored_paths({"a"});
    std::vector<std::string> copy = gu::patch::anchored_paths();
    copy.push_back("b");
    EXPECT_EQ(gu::patch::anchored_paths(), std::vector<std::string>{"a"});
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
        {"same hash once", anchor("1", {{"a", {"h"}}}), anchor("2", {{"a", {"h"}}}), {{"a", {"h"}}}},
        {"target list partly known",
         anchor("1", {{"a", {"x", "y"}}}),
         anchor("2", {{"a", {"y", "z", "z"}}}),
         {{"a", {"x", "y", "z"}}}},
        {"path only in current", anchor("1", {{"a", {"o"}}}), anchor("2", {}), {{"a", {"o"}}}},
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

TEST_F(TrustAnchorTest, WithTheEmptyListForgetNeverDeletes) {
    ScratchFolder dir;
    anchor("1", {{"Main.exe", {"h"}}}).save(dir.path());
    gu::patch::forget_anchored_file(dir.path(), "Main.exe");
    EXPECT_TRUE(fs::exists(dir / "trust_anchor.json"));
}

} // namespace
