#include "launcher/game/gl_probe.hpp"

namespace launcher {

// Off Windows there is no system opengl32.dll: only the tools and tests run here, and they choose an
// engine explicitly or set glProbeOverride.
bool probeOpenGlOnPlatform(GlProbeResult& /*result*/) {
    return false;
}

} // namespace launcher
