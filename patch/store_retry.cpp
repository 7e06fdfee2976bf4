#include "patch/store_retry.hpp"

#include "patch/errors.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace gu::patch {

StoreRetry::StoreRetry(Fetcher& fetcher, const DownloaderConfig& config, std::string probe_path, WaitClock& clock)
    : fetcher_(fetcher), config_(config), probe_path_(std::move(probe_path)), clock_(clock) {}

bool StoreRetry::cancelled() const {
    return config_.cancel && config_.cancel();
}

void StoreRetry::log(const std::string& line) const {
    if (config_.log) {
        config_.log(line);
    }
}

std::string StoreRetry::retry_fetch(const std::string& path, std::uint64_t expected_size, bool may_wait,
                                    const LogLine& log_line) {
    const std::vector<std::uint32_t>& delays = config_.chunk_retry_delays_ms;
    const std::size_t attempts = delays.size() + 1;
    std::size_t attempt = 1;
    bool waited_once = false;
    while (true) {
        try {
            std::string body = fetcher_.get(path, expected_size);
            if (body.size() != expected_size) {
                throw FetchError("object size mismatch (got " + std::to_string(body.size()) + " bytes, expected " +
                                 std::to_string(expected_size) + ")");
            }
            return body;
        } catch (const LocalWriteError&) {
            throw;
        } catch (const FetchError& e) {
            if (log_line) {
                log_line("chunk " + path + " attempt " + std::to_string(attempt) + "/" + std::to_string(attempts) +
                         " failed: " + e.what());
            }
            if (attempt < attempts) {
                sleep_sliced(delays[attempt - 1], config_.cancel, clock_);
                if (cancelled()) {
                    throw std::runtime_error("cancelled");
                }
                ++attempt;
                continue;
            }
            if (may_wait && config_.wait_for_store && !waited_once) {
                unsigned step = 0;
                std::uint64_t waited_ms = 0;
                if (await_store("chunk " + path, step, waited_ms)) {
                    waited_once = true;
                    attempt = 1;
                    continue;
                }
                // A wait that ended on cancel is a cancellation, not a transport failure.
                if (cancelled()) {
                    throw std::runtime_error("cancelled");
                }
            }
            throw;
        }
    }
}

bool StoreRetry::await_store(const std::string& label, unsigned& step, std::uint64_t& waited_ms) {
    const std::vector<std::uint32_t>& ladder = config_.store_wait_ladder_ms;
    const std::uint64_t budget = config_.store_wait_budget_ms;
    while (true) {
        if (cancelled()) {
            return false;
        }
        const std::uint64_t delay = ladder.empty() ? 0 : ladder[std::min<std::size_t>(step, ladder.size() - 1)];
        ++step;
        // Written as a subtraction so that no sum of counters can wrap around.
        if (delay > budget || waited_ms > budget - delay) {
            return false;
        }
        const std::uint64_t start = clock_.now_ms();
        sleep_sliced(delay, config_.cancel, clock_);
        if (!config_.wait_for_store) {
            waited_ms += delay;
            return !cancelled();
        }
        bool answered = true;
        try {
            fetcher_.get(probe_path_, kMaxDocumentBytes);
        } catch (const std::exception&) {
            answered = false;
        }
        const std::uint64_t now = clock_.now_ms();
        waited_ms += std::max<std::uint64_t>(now > start ? now - start : 0, 1);
        if (answered) {
            return !cancelled();
        }
        log(label + ": store unreachable after " + std::to_string(waited_ms / 1000) + " s of waiting (budget " +
            std::to_string(budget / 1000) + " s)");
        if (waited_ms >= budget) {
            return false;
        }
    }
}

} // namespace gu::patch
