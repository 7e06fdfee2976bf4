#include "launcher/game/gl_probe.hpp"

namespace launcher {
namespace {

constexpr int kMinMajor = 3;
constexpr int kMinMinor = 3;

// A run of decimal digits at the start of text, advancing it; false when there is none or it overflows.
bool takeNumber(std::string_view& text, int& number) {
    constexpr int kMax = 1000000;
    std::size_t used = 0;
    int value = 0;
    while (used < text.size() && text[used] >= '0' && text[used] <= '9') {
        value = value * 10 + (text[used] - '0');
        if (value > kMax) {
            return false;
        }
        ++used;
    }
    if (used == 0) {
        return false;
    }
    number = value;
    text.remove_prefix(used);
    return true;
}

} // namespace

bool readGlVersion(GlProbeResult& result, std::string_view version, std::string_view renderer) {
    int major = 0;
    int minor = 0;
    if (!takeNumber(version, major) || version.empty() || version.front() != '.') {
        return result.capable;
    }
    version.remove_prefix(1);
    if (!takeNumber(version, minor)) {
        return result.capable;
    }
    result.major = major;
    result.minor = minor;
    result.renderer.assign(renderer.substr(0, kGlRendererLimit));
    result.capable = major > kMinMajor || (major == kMinMajor && minor >= kMinMinor);
    return result.capable;
}

bool probeOpenGl(GlProbeResult* result) {
    GlProbeResult local;
    GlProbeResult& out = result != nullptr ? *result : local;
    out = GlProbeResult();
    return glProbeOverride != nullptr ? glProbeOverride(out) : probeOpenGlOnPlatform(out);
}

} // namespace launcher
