#pragma once
// A loopback port that nothing listens on at the moment of the call: for a server the test starts (which
// retries with another port if someone took it meanwhile) or for a store that must be dead (connections
// refused at once, never a time-out).

#include <cstdint>

namespace kyrtest {

// Throws std::runtime_error when no port can be bound on 127.0.0.1.
std::uint16_t freeLoopbackPort();

} // namespace kyrtest
