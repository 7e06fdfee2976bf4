#include "patch/path_rules.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const char* name;
    std::string input;
    bool want;
};

TEST(IsSafeRelativePath, KeepsEveryPathBelowTheRoot) {
    const NameCase cases[] = {
        {"nested file", "Data/Local/a.bmd", true},
        {"single name", "Main.exe", true},
        {"dot segment", "./x", true},
        {"dot segment inside", "a/./b", true},
        {"two dots inside a name", "a..b", true},
        {"name starting with two dots", "..x/y", true},
        {"name ending with two dots", "y/x..", true},
        {"three dots", ".../x", true},
        {"spaces and UTF-8",
         "Data/Mapa Espa\xc3\xb1"
         "a.bmd",
         true},
        {"empty", "", false},
        {"absolute", "/x", false},
        {"backslash absolute", "\\x", false},
        {"drive letter", "C:/x", false},
        {"alternate stream", "a.txt:stream", false},
        {"backslash separator", "a\\b", false},
        {"doubled slash", "a//b", false},
        {"trailing slash", "a/", false},
        {"lone slash", "/", false},
        {"parent at start", "../x", false},
        {"parent inside", "a/../b", false},
        {"parent at end", "a/..", false},
        {"only parent", "..", false},
        {"NUL would cut the name to a parent", std::string("..\0x/y", 6), false},
        {"NUL anywhere", std::string("a\0b", 3), false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::is_safe_relative_path(c.input), c.want);
    }
}

TEST(IsSafePackName, AllowsOneFileNameOnly) {
    const NameCase cases[] = {
        {"usual name", "p0001.pack", true},
        {"single dot", ".", true},
        {"colon is not tested", "a:b", true},
        {"dot-prefixed name", ".pack", true},
        {"empty", "", false},
        {"two dots", "..", false},
        {"two dots inside", "a..b", false},
        {"trailing two dots", "p.pack..", false},
        {"slash", "a/b", false},
        {"backslash", "a\\b", false},
        {"slash alone", "/", false},
        {"NUL", std::string("p\0", 2), false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gu::patch::is_safe_pack_name(c.input), c.want);
    }
}

} // namespace
