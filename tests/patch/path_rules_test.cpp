#include "patch/path_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// A store path that leaves the root, or that Windows or the updater would take for something else, is
// refused with its reason; the empty reason means installable.
TEST(PathRules, InstalledPathsStayBelowTheRootAndMeanOneFile) {
    struct Case {
        std::string path;
        bool safe;        // is_safe_relative_path
        const char* want; // part of installed_path_problem's reason
    };
    const Case cases[] = {
        {"Data/Local/a.bmd", true, ""},
        {"a/./b..c", true, ""},
        {"Data/patchstate.json", true, ""},
        {"", false, "not a safe relative path"},
        {"C:/x", false, "not a safe relative path"},
        {"a.txt:stream", false, "not a safe relative path"},
        {"a\\b", false, "not a safe relative path"},
        {"a//b", false, "not a safe relative path"},
        {"../x", false, "not a safe relative path"},
        {"a/../b", false, "not a safe relative path"},
        {"a/..", false, "not a safe relative path"},
        {std::string("..\0x/y", 6), false, "not a safe relative path"},
        {"Data/cOm1.dat", true, "\"cOm1.dat\" is a reserved device name"},
        {"prn/x", true, "reserved device name"},
        {"dir./x", true, "trailing dot or blank from \"dir.\""},
        {"x ", true, "trailing dot or blank"},
        {"Data /x", true, "trailing dot or blank"},
        {"Data/.", true, "a folder"},
        {"./PatchState.JSON", true, "updater's own"},
        {".UpdStage/Main.exe", true, "updater's own"},
        {".updpacks/current.part", true, "updater's own"},
        {"Data/x.UPDPART", true, "updater's own"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(gu::patch::is_safe_relative_path(c.path), c.safe);
        const std::string problem = gu::patch::installed_path_problem(c.path);
        EXPECT_EQ(problem.empty(), *c.want == '\0') << problem;
        EXPECT_NE(problem.find(c.want), std::string::npos) << problem;
    }
}

} // namespace
