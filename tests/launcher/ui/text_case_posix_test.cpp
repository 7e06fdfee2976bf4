#include "launcher/ui/text_case.hpp"

#include <gtest/gtest.h>

namespace {

// A cut or stray byte is copied, and the mapping never reads past the end of the text.
TEST(UpperCaseText, PortableMappingCopiesBytesThatAreNotUtf8) {
    EXPECT_EQ(launcher::upperCaseText("a\xC3"), "A\xC3");
    EXPECT_EQ(launcher::upperCaseText("\xC3z\xFF\xC4"), "\xC3Z\xFF\xC4");
}

} // namespace
