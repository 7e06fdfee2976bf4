#include "launcher/game/gl_probe.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

TEST(ReadGlVersion, CapableFromOpenGl33) {
    const struct {
        const char* version;
        bool wantParsed;
        int wantMajor;
        int wantMinor;
        bool wantCapable;
    } cases[] = {
        {"3.2.0 Mesa 22.3.6", true, 3, 2, false},
        {"3.3.0 NVIDIA 535.54", true, 3, 3, true},
        {"4.6", true, 4, 6, true},
        {"4.0 Compatibility Profile", true, 4, 0, true},
        {"10.1", true, 10, 1, true},
        {"2.1 Mesa", true, 2, 1, false},
        {"OpenGL ES 3.2 Mesa", false, 0, 0, false},
        {"3", false, 0, 0, false},
        {"3.", false, 0, 0, false},
        {".3", false, 0, 0, false},
        {"", false, 0, 0, false},
        {"99999999999999999999.0", false, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        GlProbeResult result;
        EXPECT_EQ(readGlVersion(result, c.version, "llvmpipe"), c.wantCapable);
        EXPECT_EQ(result.capable, c.wantCapable);
        EXPECT_EQ(result.major, c.wantMajor);
        EXPECT_EQ(result.minor, c.wantMinor);
        EXPECT_EQ(result.renderer, c.wantParsed ? "llvmpipe" : "");
    }
}

TEST(ReadGlVersion, KeepsAtMost255CharactersOfTheRenderer) {
    GlProbeResult result;
    readGlVersion(result, "4.5", std::string(300, 'r'));
    EXPECT_EQ(result.renderer, std::string(255, 'r'));
}

bool esDriver(GlProbeResult& result) {
    return readGlVersion(result, "OpenGL ES 3.2", "fake");
}

TEST(ProbeOpenGl, StartsFromAnEmptyResultEachTime) {
    glProbeOverride = &esDriver;
    GlProbeResult result;
    result.major = 4;
    result.minor = 6;
    result.renderer = "left over";
    result.capable = true;
    EXPECT_FALSE(probeOpenGl(&result));
    EXPECT_EQ(result.major, 0);
    EXPECT_EQ(result.minor, 0);
    EXPECT_EQ(result.renderer, "");
    EXPECT_FALSE(result.capable);
    EXPECT_FALSE(probeOpenGl());
    glProbeOverride = nullptr;
}

} // namespace
} // namespace launcher
