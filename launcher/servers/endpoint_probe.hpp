#pragma once
// Latency of server endpoints, measured by a TCP connect: the probe itself and the probe worker that
// measures every server of the shared directory.

#include <string>

namespace launcher {

struct LauncherState;

inline constexpr int kProbeFailed = -2;
inline constexpr int kMaxLatencyMs = 60000;
inline constexpr int kProbeTimeoutMs = 1500;
inline constexpr int kProbesPerGroup = 4;
inline constexpr int kMaxProbeRestarts = 8;

// Time of a non-blocking TCP handshake with ip:port in milliseconds (capped at 60,000), or -2 when the
// address is not a dotted IPv4 literal, the port is outside 1..65535, or the connect fails or takes
// longer than 1.5 s. Host names are never resolved and no data is exchanged.
int tcpConnectMs(const std::string& ip, int port);

// The platform half of tcpConnectMs, given an address that passed its checks.
int connectCheckedMs(const std::string& ip, int port);

// The probe worker, run while probeBusy is 1. Measures the servers of the shared directory in order,
// the selected one first, up to four endpoints at a time, stores the latencies and posts
// WM_APP_PROBE_DONE after each server. A raised probeAgain makes it start over after the current
// server, at most eight times. Clears probeBusy when it ends, and picks up a request raised meanwhile.
void probeWorker(LauncherState& state);

} // namespace launcher
