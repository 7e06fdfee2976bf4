#pragma once
// Random network and store faults for a StoreFolderServer's hook: refused requests (404, 500, 503), bodies
// cut mid-way or truncated, flipped bytes, stalls, connections closed without an answer and Range
// ignored. Each answer is decided from the seed, the target and how often that target was asked for, so a
// run meets the same faults whatever order parallel workers send their requests in.

#include "support/store_folder_server.hpp"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace kyrtest {

class FaultInjector {
public:
    // `rate`: the share of requests that meet a fault (0 to 1). `stallMs`: how long a stalled answer waits
    // between its head and its body.
    FaultInjector(StoreFolderServer& server, std::uint64_t seed, double rate, int stallMs = 20);

    // Usable as the server's hook (through std::ref: the injector keeps counts).
    HttpResponse operator()(const HttpRequest& request, HttpResponse response);

    unsigned injected() const;

private:
    StoreFolderServer& server_;
    const std::uint64_t seed_;
    const double rate_;
    const int stallMs_;
    mutable std::mutex lock_;
    std::map<std::string, unsigned> seen_;
    unsigned injected_ = 0;
};

// Whether a run's error names what failed, as every message of a run that met these faults must.
bool isClearTransportFailure(const std::string& error);

} // namespace kyrtest
