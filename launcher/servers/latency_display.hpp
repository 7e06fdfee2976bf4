#pragma once
// How a measured latency is shown in a server row.

#include <cstdint>
#include <string>

namespace launcher {

// "-- ms" below 0 (unmeasured or failed), else the value followed by " ms".
std::string latencyText(int latencyMs);

// Colour in the platform's 0x00BBGGRR layout: grey below 0, green below 80, orange below 180, else red.
std::uint32_t latencyColour(int latencyMs);

} // namespace launcher
