#include "launcher/game/gl_probe.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace launcher {
namespace {

void expectConsistent(const GlProbeResult& result, bool capable) {
    EXPECT_EQ(capable, result.capable);
    EXPECT_EQ(capable, result.major > 3 || (result.major == 3 && result.minor >= 3));
    EXPECT_EQ(result.major == 0 && result.minor == 0, result.renderer.empty());
    EXPECT_LE(result.renderer.size(), kGlRendererLimit);
}

// The real system driver, twice: the hidden window's class must be gone after each run, or the second
// run could not register it. Whether a driver answers depends on the machine: under Wine only when the
// prefix's desktop has an X display (seen with Xvfb: "4.5" from "llvmpipe (LLVM 15.0.6, 256 bits)");
// without one the window cannot be created, which must count as not capable and nothing worse.
TEST(ProbeOpenGlOnThisMachine, GivesTheSameConsistentAnswerOnEveryRun) {
    GlProbeResult first;
    const bool firstCapable = probeOpenGl(&first);
    GlProbeResult second;
    const bool secondCapable = probeOpenGl(&second);
    RecordProperty("driver", std::to_string(first.major) + "." + std::to_string(first.minor) + " " + first.renderer);

    expectConsistent(first, firstCapable);
    expectConsistent(second, secondCapable);
    EXPECT_EQ(firstCapable, secondCapable);
    EXPECT_EQ(first.major, second.major);
    EXPECT_EQ(first.minor, second.minor);
    EXPECT_EQ(first.renderer, second.renderer);
}

} // namespace
} // namespace launcher
