#include "launcher/game/gl_probe.hpp"

#include <gtest/gtest.h>

#include <string>

namespace launcher {
namespace {

TEST(ReadGlVersion, CapableFromOpenGl33) {
    const struct {
        const char* version;
        int major, minor;
        bool capable;
    } cases[] = {
        {"3.2.0 Mesa 22.3.6", 3, 2, false}, {"3.3.0 NVIDIA 535.54", 3, 3, true}, {"4.0 Compatibility", 4, 0, true},
        {"10.1", 10, 1, true},              {"2.9 Mesa", 2, 9, false},           {"OpenGL ES 3.2 Mesa", 0, 0, false},
        {"4 6", 0, 0, false},               {"3.", 0, 0, false},                 {"99999999999999999999.0", 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        GlProbeResult result;
        EXPECT_EQ(readGlVersion(result, c.version, std::string(300, 'r')), c.capable);
        EXPECT_EQ(result.capable, c.capable);
        EXPECT_EQ(result.major * 100 + result.minor, c.major * 100 + c.minor);
        EXPECT_EQ(result.renderer, c.major != 0 ? std::string(255, 'r') : "");
    }
}

TEST(ProbeOpenGl, StartsFromAnEmptyResultEachTime) {
    glProbeOverride = [](GlProbeResult& result) { return readGlVersion(result, "OpenGL ES 3.2", "fake"); };
    GlProbeResult result;
    result.major = 4;
    result.renderer = "left over";
    result.capable = true;
    EXPECT_FALSE(probeOpenGl(&result));
    EXPECT_EQ(result.major, 0);
    EXPECT_EQ(result.renderer, "");
    EXPECT_FALSE(result.capable);
    glProbeOverride = nullptr;
}

} // namespace
} // namespace launcher
