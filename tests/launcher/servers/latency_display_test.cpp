#include "launcher/servers/latency_display.hpp"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

TEST(LatencyDisplay, TextAndColourFollowTheThresholds) {
    const std::uint32_t grey = rgb(80, 80, 88);
    const std::uint32_t green = rgb(34, 197, 94);
    const std::uint32_t orange = rgb(255, 159, 28);
    const std::uint32_t red = rgb(217, 48, 74);
    const struct {
        const char* name;
        int latency;
        const char* text;
        std::uint32_t colour;
    } cases[] = {
        {"failed", -2, "-- ms", grey},     {"unmeasured", -1, "-- ms", grey},   {"zero", 0, "0 ms", green},
        {"fast edge", 79, "79 ms", green}, {"slow start", 80, "80 ms", orange}, {"slow edge", 179, "179 ms", orange},
        {"bad start", 180, "180 ms", red}, {"cap", 60000, "60000 ms", red},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(launcher::latencyText(c.latency), c.text);
        EXPECT_EQ(launcher::latencyColour(c.latency), c.colour);
    }
}

} // namespace
