#pragma once
// Patience with the patch store: the retrying get of single chunk objects (a short back-off ladder) and
// the longer "store unreachable" wait, which sleeps along its own ladder within a time budget and probes
// the store between the pauses.

#include "patch/chunk_fetch.hpp"
#include "patch/downloader_config.hpp"
#include "patch/fetcher.hpp"
#include "patch/sliced_sleep.hpp"

#include <cstdint>
#include <string>

namespace gu::patch {

class StoreRetry final : public ChunkObjects {
public:
    // probe_path is the store object whose answer proves the store reachable again (the run's channel
    // document). The fetcher, the configuration and the clock must outlive this object.
    StoreRetry(Fetcher& fetcher, const DownloaderConfig& config, std::string probe_path,
               WaitClock& clock = system_wait_clock());

    // get(path) of an object of expected_size bytes (a larger body fails in the fetcher, a shorter one here)
    // with up to chunk_retry_delays_ms.size() + 1 attempts, each failure logged through log_line
    // (may be empty). When they are spent and may_wait is set, waits once for the store (await_store)
    // and starts the attempts over. LocalWriteError is rethrown at once; "cancelled" ends a wait.
    // Without may_wait it never touches the configuration's log, so prefetch workers may call it at once;
    // the cancel callback is then polled on their threads too.
    std::string retry_fetch(const std::string& path, std::uint64_t expected_size, bool may_wait,
                            const LogLine& log_line) override;

    // Waits along store_wait_ladder_ms (entry `step`, the last one repeating) until the store answers the
    // probe, within store_wait_budget_ms of total waiting. step and waited_ms are the caller's counters of
    // one wait sequence; both grow here. True when the store answered (or, without wait_for_store, after
    // one pause); false when the budget is spent or on cancel.
    bool await_store(const std::string& label, unsigned& step, std::uint64_t& waited_ms);

    // The configuration's cancel callback; false when it is empty.
    bool cancelled() const;

private:
    void log(const std::string& line) const;

    Fetcher& fetcher_;
    const DownloaderConfig& config_;
    std::string probe_path_;
    WaitClock& clock_;
};

} // namespace gu::patch
