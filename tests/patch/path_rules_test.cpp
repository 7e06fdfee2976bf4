#include "patch/path_rules.hpp"

#include "patch/previous_version.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const char* name;
    std::string input;
    bool want;
};

TEST(PathRules, SafeRelativePathsStayBelowTheRoot) {
    const NameCase cases[] = {
        {"nested file", "Data/Local/a.bmd", true},
        {"dot segment inside", "a/./b", true},
        {"two dots inside a name", "a..b", true},
        {"name starting with two dots", "..x/y", true},
        {"empty", "", false},
        {"absolute", "/x", false},
        {"drive letter", "C:/x", false},
        {"alternate stream", "a.txt:stream", false},
        {"backslash separator", "a\\b", false},
        {"doubled slash", "a//b", false},
        {"trailing slash", "a/", false},
        {"parent at start", "../x", false},
        {"parent inside", "a/../b", false},
        {"parent at end", "a/..", false},
        {"NUL would cut the name to a parent", std::string("..\0x/y", 6), false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::is_safe_relative_path(c.input), c.want);
    }
}

TEST(PathRules, PackNamesAreOneFileName) {
    const NameCase cases[] = {
        {"usual name", "p0001.pack", true}, {"empty", "", false},          {"two dots", "..", false},
        {"slash", "a/b", false},            {"backslash", "a\\b", false}, {"NUL", std::string("p\0", 2), false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::is_safe_pack_name(c.input), c.want);
    }
}

TEST(PathRules, InstalledPathsRefuseWhatWindowsOrTheUpdaterTakesForSomethingElse) {
    struct Case {
        const char* name;
        std::string path;
        const char* want; // part of the reason; empty: installable
    };
    const Case cases[] = {
        {"nested file", "Data/Local/a.bmd", ""},
        {"device-like but longer", "Data/console.txt", ""},
        {"COM10 is no device", "COM10", ""},
        {"updater's name below a folder", "Data/patchstate.json", ""},
        {"unsafe", "a/../b", "not a safe relative path"},
        {"device in any case", "Data/cOm1.dat", "\"cOm1.dat\" is a reserved device name"},
        {"device with blanks before the extension", "aux .log", "reserved device name"},
        {"superscript port", "com\xc2\xb9", "reserved device name"},
        {"device as a folder", "prn/x", "reserved device name"},
        {"trailing dot", "dir./x", "trailing dot or blank from \"dir.\""},
        {"trailing blank", "x ", "trailing dot or blank"},
        {"trailing blank of a folder", "Data /x", "trailing dot or blank"},
        {"names a folder", "Data/.", "a folder"},
        {"patch state in another case", "./PatchState.JSON", "updater's own"},
        {"previous manifest", gu::patch::kPreviousManifestFile, "updater's own"},
        {"done marker", ".update_done", "updater's own"},
        {"staged file", ".UpdStage/Main.exe", "updater's own"},
        {"pack cache", ".updpacks/current.part", "updater's own"},
        {"file being written", "Data/x.UPDPART", "updater's own"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string problem = gu::patch::installed_path_problem(c.path);
        if (*c.want == '\0') {
            EXPECT_EQ(problem, "");
        } else {
            EXPECT_NE(problem.find(c.want), std::string::npos) << problem;
        }
    }
}

} // namespace
