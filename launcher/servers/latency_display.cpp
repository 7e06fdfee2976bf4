#include "launcher/servers/latency_display.hpp"

namespace launcher {
namespace {

constexpr std::uint32_t colour(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

} // namespace

std::string latencyText(int latencyMs) {
    return latencyMs < 0 ? std::string("-- ms") : std::to_string(latencyMs) + " ms";
}

std::uint32_t latencyColour(int latencyMs) {
    if (latencyMs < 0) {
        return colour(80, 80, 88);
    }
    if (latencyMs < 80) {
        return colour(34, 197, 94);
    }
    if (latencyMs < 180) {
        return colour(255, 159, 28);
    }
    return colour(217, 48, 74);
}

} // namespace launcher
