#pragma once
// A Fetcher over an ordered list of store sources (index 0 is the primary). Each operation tries the
// sources in turn and remembers which one last worked, so a secondary that took over stays first until
// another source succeeds where it failed. There is no timer that moves back to the primary.

#include "patch/fetcher.hpp"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gu::patch {

class FailoverFetcher : public Fetcher {
public:
    // sources must not be empty (the caller guarantees it); on_log may be empty.
    FailoverFetcher(std::vector<FetchSource> source_list, std::function<void(const std::string&)> log_line);

    std::string get(const std::string& path, std::uint64_t max_bytes) override;
    // A source that fails after handing over some bytes leaves the next one to continue after them, so the
    // sink sees the object once. The sink's own exception ends the call at once.
    void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                     const ByteSink& sink) override;

    // Hands the gate to every source: the bytes arrive there.
    void attach_gate(TransferGate* gate) override;

    // Indexes of the sources in the order the next operation tries them.
    std::vector<unsigned> attempt_order() const;

    // Set up before the run starts and not changed while operations are in flight. The callbacks are
    // called on whichever thread ran the operation.
    std::vector<FetchSource> sources;
    std::function<void(const std::string&)> on_log; // one line per failover event
    std::function<void(unsigned)> on_switch;        // told the index of a source that just became active
    std::function<int()> preferred_source;          // index to try first; out of range means none
    std::function<bool()> force_secondary;          // true: the primary is tried last
    std::atomic<unsigned> active_index{0};          // source of the last successful operation
    std::atomic<unsigned> failover_count{0};        // operations that succeeded after the first try failed

private:
    void run_with_failover(const std::string& path, const std::function<void(Fetcher&)>& step);
};

} // namespace gu::patch
