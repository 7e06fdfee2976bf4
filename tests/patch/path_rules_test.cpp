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
        {"PatchState.Manifest.JSON.sig", true, "updater's own"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(gu::patch::is_safe_relative_path(c.path), c.safe);
        const std::string problem = gu::patch::installed_path_problem(c.path);
        EXPECT_EQ(problem.empty(), *c.want == '\0') << problem;
        EXPECT_NE(problem.find(c.want), std::string::npos) << problem;
    }
}

// Names NTFS takes for one file, and names that only look alike. Its upcase table maps one character to
// one, so "ß" stays "ß"; it has no Turkish rule and none of Unicode's foldings of symbol forms.
TEST(PathRules, WindowsKeyFoldsCaseAsNtfsDoes) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"./Data/Map.bmd", "data/./MAP.BMD", true},
        {"\xc3\x89t\xc3\xa9.txt", "\xc3\xa9T\xc3\x89.txt", true},       // Été, éTÉ (Latin-1)
        {"\xc3\xbf", "\xc5\xb8", true},                                 // ÿ, Ÿ
        {"\xc5\x81\xc3\xb3\xc5\xba", "\xc5\x82\xc3\x93\xc5\xb9", true}, // Łóź, łÓŹ (Latin Extended-A)
        {"\xc4\xb3", "\xc4\xb2", true},                                 // ĳ, Ĳ
        {"\xcf\x83\xce\xac\xcf\x82", "\xce\xa3\xce\x86\xce\xa3", true}, // σάς, ΣΆΣ (Greek)
        {"\xce\x8f", "\xcf\x8e", true},                                 // Ώ, ώ
        {"\xd0\x81\xd0\xb6", "\xd1\x91\xd0\x96", true},                 // Ёж, ёЖ (Cyrillic)
        {"\xd2\x90", "\xd2\x91", true},                                 // Ґ, ґ
        {"\xd3\x81", "\xd3\x82", true},                                 // Ӂ, ӂ
        {"\xc3\x9f", "SS", false},                                      // ß is not SS
        {"\xc3\x9f", "\xe1\xba\x9e", false},                            // nor ẞ
        {"\xc4\xb1", "I", false},                                       // dotless ı is not I
        {"\xc4\xb0", "i", false},                                       // İ is not i
        {"\xc5\xbf", "S", false},                                       // long ſ is not S
        {"\xc2\xb5", "\xce\xbc", false},                                // micro sign is not μ
        {"\xcf\x90", "\xce\xb2", false},                                // ϐ is not β
        {"\xf0\x90\x90\xa8", "\xf0\x90\x90\x80", false},                // beyond 16 bits: 𐐨, 𐐀
        {"\xe4.txt", "\xc3\x84.txt", false},                            // not UTF-8 (Latin-1 ä): the byte stays
        {"\xc3-a", "\xc3-A", true},                                     // a lone lead byte stays, the rest folds
        {"\xc1\xa1", "\xc1\x81", false},                                // overlong forms stay
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(gu::patch::windows_key(c.a) == gu::patch::windows_key(c.b), c.same);
    }
}

} // namespace
