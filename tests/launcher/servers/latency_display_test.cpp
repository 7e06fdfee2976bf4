#include "launcher/servers/latency_display.hpp"

#include <gtest/gtest.h>

namespace {

TEST(LatencyDisplay, TextAndColourFollowTheThresholds) {
    const std::uint32_t grey = 0x585050, green = 0x5EC522, orange = 0x1C9FFF, red = 0x4A30D9;
    const struct {
        int latency;
        const char* text;
        std::uint32_t colour;
    } cases[] = {{-2, "-- ms", grey},   {-1, "-- ms", grey},      {0, "0 ms", green},       {79, "79 ms", green},
                 {80, "80 ms", orange}, {179, "179 ms", orange}, {180, "180 ms", red}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latency);
        EXPECT_EQ(launcher::latencyText(c.latency), c.text);
        EXPECT_EQ(launcher::latencyColour(c.latency), c.colour);
    }
}

} // namespace
