#pragma once
// Whether the machine's own OpenGL driver can run the game on the hardware engine: OpenGL 3.3 or newer,
// asked of the system opengl32.dll (never a copy in the game folder).

#include <cstddef>
#include <string>
#include <string_view>

namespace launcher {

struct GlProbeResult {
    int major = 0;
    int minor = 0;
    std::string renderer; // at most kGlRendererLimit characters
    bool capable = false;
};

inline constexpr std::size_t kGlRendererLimit = 255;

// Reads a driver's GL_VERSION and GL_RENDERER texts into result: a version that begins with
// "<major>.<minor>" sets both numbers and the renderer, and capable when it is 3.3 or newer; anything
// else (an OpenGL ES driver's "OpenGL ES 3.2 ...") leaves result as it was. Returns result.capable.
bool readGlVersion(GlProbeResult& result, std::string_view version, std::string_view renderer);

using GlProbe = bool (*)(GlProbeResult& result);

// While set, probeOpenGl asks this instead of the platform's driver.
inline GlProbe glProbeOverride = nullptr;

// Windows: creates a hidden 1 x 1 window with an OpenGL context on the system opengl32.dll and reads its
// version. Any failure counts as not capable. Elsewhere there is no such driver: not capable.
bool probeOpenGlOnPlatform(GlProbeResult& result);

// Runs on every call; nothing is kept. result (may be null) receives what the driver reported.
bool probeOpenGl(GlProbeResult* result = nullptr);

} // namespace launcher
