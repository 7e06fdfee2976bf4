#include "patch/update_plan.hpp"

#include "patch/local_path.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;
using kyrtest::write_bytes;

TEST(GlobToRegex, MatchesWholePathsWithStarsAcrossFoldersAndEverythingElseLiteral) {
    struct Case {
        std::string pattern;
        std::string path;
        bool want;
    };
    const Case cases[] = {
        {"Data/Local/*.ini", "Data/Local/a.ini", true},
        {"Data/Local/*.ini", "Data/Local/sub/deeper/b.ini", true},
        {"Data/Local/*.ini", "Data/Local/a.ini.bak", false},
        {"Data/Local/*.ini", "data/local/a.ini", false},
        {"Data/Local/*.ini", "Game/Data/Local/a.ini", false},
        {"a**b", "a/x/y/b", true},
        {"*", "x/y", true},
        {"a?c", "a?c", true},
        {"a?c", "abc", false},
        {"x.^$|()[]{}+?\\y", "x.^$|()[]{}+?\\y", true},
        {"[ab]", "a", false},
        {"^a$", "a", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern + " ~ " + c.path);
        EXPECT_EQ(std::regex_match(c.path, glob_to_regex(c.pattern)), c.want);
    }
}

ManifestFile manifest_file(const std::string& path, const std::string& content,
                           std::vector<ManifestChunk> chunks = {}) {
    if (chunks.empty() && !content.empty()) {
        chunks.push_back({sha256_hex(content), content.size(), content.size() + 9});
    }
    return ManifestFile{path, content.size(), sha256_hex(content), std::move(chunks)};
}

std::vector<std::string> fetched_paths(const UpdatePlan& plan) {
    std::vector<std::string> paths;
    for (const ManifestFile& file : plan.to_fetch) {
        paths.push_back(file.path);
    }
    return paths;
}

TEST(PlanUpdate, SortsEachFileByStateDiskPreserveAndAnchorRules) {
    const std::string content = "the store's bytes";
    const std::string sha = sha256_hex(content);
    const std::string same_size_other(content.size(), 'x');
    const std::string missing = "<missing>";
    enum class Want { fetch, current, current_recorded, preserved };
    struct Case {
        const char* name;
        std::string path;
        const char* entry; // nullptr: no patch state entry; "" : the manifest's hash
        std::string on_disk;
        Want want;
        std::vector<std::string> preserve = {};
        bool anchored = false;
    };
    const Case cases[] = {
        {"entry and size agree, content unread", "f.bin", "", same_size_other, Want::current},
        {"entry agrees, size differs", "f.bin", "", content + "!", Want::fetch},
        {"entry agrees, parent folder missing", "gone/f.bin", "", missing, Want::fetch},
        {"entry agrees, a folder in its place", "f.bin", "", "<folder>", Want::fetch},
        {"entry names another hash, content right", "f.bin", "0000", content, Want::fetch},
        {"no entry, content matches", "f.bin", nullptr, content, Want::current_recorded},
        {"no entry, content differs", "f.bin", nullptr, same_size_other, Want::fetch},
        {"preserved and present", "Data/Local/a.ini", "0000", "player's", Want::preserved, {"Data/Local/*.ini"}},
        {"preserved below a subfolder",
         "Data/Local/s/a.ini",
         nullptr,
         "player's",
         Want::preserved,
         {"Other/*", "Data/Local/*.ini"}},
        {"preserved but missing", "Data/Local/a.ini", nullptr, missing, Want::fetch, {"Data/Local/*.ini"}},
        {"preserved but known and agreeing",
         "Data/Local/a.ini",
         "",
         same_size_other,
         Want::current,
         {"Data/Local/*.ini"}},
        {"preserved but a folder", "Data/Local/a.ini", nullptr, "<folder>", Want::fetch, {"Data/Local/*.ini"}},
        {"anchored: the state is not trusted", "f.bin", "", same_size_other, Want::fetch, {}, true},
        {"anchored: hashed and accepted", "f.bin", "", content, Want::current_recorded, {}, true},
        {"anchored: preserve does not apply", "f.bin", nullptr, same_size_other, Want::fetch, {"*"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kyrtest::ScratchFolder root;
        const fs::path target = local_path(root.path(), c.path);
        if (c.on_disk == "<folder>") {
            fs::create_directories(target / "inside");
        } else if (c.on_disk != missing) {
            fs::create_directories(target.parent_path());
            write_bytes(target, c.on_disk);
        }
        PatchState state;
        if (c.entry != nullptr) {
            state.files[c.path] = *c.entry == '\0' ? sha : std::string(c.entry);
        }
        Manifest manifest;
        manifest.preserve = c.preserve;
        manifest.files.push_back(manifest_file(c.path, content));
        const std::vector<std::string> anchored =
            c.anchored ? std::vector<std::string>{c.path} : std::vector<std::string>{};

        const UpdatePlan plan = plan_update(manifest, state, root.path(), {}, anchored);

        const std::vector<std::string> just_this{c.path};
        const std::vector<std::string> none;
        EXPECT_EQ(fetched_paths(plan), c.want == Want::fetch ? just_this : none);
        EXPECT_EQ(plan.current, c.want == Want::current || c.want == Want::current_recorded ? just_this : none);
        EXPECT_EQ(plan.preserved, c.want == Want::preserved ? just_this : none);
        using Records = std::vector<std::pair<std::string, std::string>>;
        const Records recorded = c.want == Want::current_recorded ? Records{{c.path, sha}} : Records{};
        EXPECT_EQ(plan.to_record, recorded);
        if (c.on_disk != missing && c.on_disk != "<folder>") {
            EXPECT_EQ(kyrtest::read_bytes(target), c.on_disk);
        }
    }
}

TEST(PlanUpdate, DownloadBytesCountEachMissingChunkOnce) {
    kyrtest::ScratchFolder root;
    const ManifestChunk shared{std::string(64, '1'), 10, 7};
    const ManifestChunk only_a{std::string(64, '2'), 10, 5};
    const ManifestChunk of_current{std::string(64, '3'), 10, 1000};
    Manifest manifest;
    manifest.files = {ManifestFile{"a.bin", 30, std::string(64, 'a'), {shared, only_a, shared}},
                      ManifestFile{"kept.bin", 4, sha256_hex("kept"), {of_current}},
                      ManifestFile{"b.bin", 10, std::string(64, 'b'), {shared}}};
    write_bytes(root / "kept.bin", "kept");

    const UpdatePlan plan = plan_update(manifest, PatchState{}, root.path(), {}, {});

    EXPECT_EQ(fetched_paths(plan), (std::vector<std::string>{"a.bin", "b.bin"}));
    EXPECT_EQ(plan.current, std::vector<std::string>{"kept.bin"});
    EXPECT_EQ(plan.download_bytes, 12u);
}

} // namespace
