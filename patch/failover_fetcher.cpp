#include "patch/failover_fetcher.hpp"

#include "patch/errors.hpp"

#include <exception>
#include <utility>

namespace gu::patch {

namespace {

// Carries the sink's own exception through the sources and the failover: it is no failure of theirs, so
// no other source is tried, and it reaches the caller unchanged.
struct SinkFailure {
    std::exception_ptr error;
};

} // namespace

FailoverFetcher::FailoverFetcher(std::vector<FetchSource> source_list, std::function<void(const std::string&)> log_line)
    : sources(std::move(source_list)), on_log(std::move(log_line)) {}

void FailoverFetcher::attach_gate(TransferGate* gate) {
    for (const FetchSource& source : sources) {
        source.fetcher->attach_gate(gate);
    }
}

std::vector<unsigned> FailoverFetcher::attempt_order() const {
    const auto n = static_cast<unsigned>(sources.size());
    std::vector<unsigned> order;
    if (n == 0) {
        return order;
    }
    order.reserve(n);
    const unsigned a = active_index.load() % n;

    if (force_secondary && force_secondary()) {
        if (a != 0) {
            order.push_back(a);
        }
        for (unsigned i = n - 1; i >= 1; --i) {
            if (i != a) {
                order.push_back(i);
            }
        }
        order.push_back(0);
        return order;
    }

    unsigned first = a;
    if (preferred_source) {
        const int p = preferred_source();
        if (p >= 0 && static_cast<unsigned>(p) < n) {
            first = static_cast<unsigned>(p);
        }
    }
    order.push_back(first);
    for (unsigned i = 0; i < n; ++i) {
        if (i != first) {
            order.push_back(i);
        }
    }
    return order;
}

void FailoverFetcher::run_with_failover(const std::string& path, const std::function<void(Fetcher&)>& step) {
    const std::vector<unsigned> order = attempt_order();
    std::string summary;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const unsigned i = order[k];
        const FetchSource& source = sources[i];
        try {
            step(*source.fetcher);
        } catch (const LocalWriteError&) {
            throw;
        } catch (const FetchError& e) {
            if (!summary.empty()) {
                summary += " | ";
            }
            summary += source.name + ": " + e.what();
            if (sources.size() > 1 && on_log) {
                on_log("failover: " + source.name + " fallo para " + path + " (" + e.what() + ")");
            }
            continue;
        }

        if (k > 0) {
            ++failover_count;
        }
        // exchange, not load-then-store: when several threads move to the same source, one reports it.
        if (active_index.exchange(i) != i) {
            if (on_log) {
                on_log("failover: origen activo ahora = " + source.name);
            }
            if (on_switch) {
                on_switch(i);
            }
        }
        return;
    }
    throw FetchError("all " + std::to_string(sources.size()) + " store sources failed for " + path + " [" + summary +
                     "]");
}

std::string FailoverFetcher::get(const std::string& path, std::uint64_t max_bytes) {
    std::string body;
    run_with_failover(path, [&](Fetcher& source) { body = source.get(path, max_bytes); });
    return body;
}

void FailoverFetcher::stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                                  const ByteSink& sink) {
    std::uint64_t handed = 0;
    const ByteSink counting = [&](std::string_view block) {
        try {
            sink(block);
        } catch (...) {
            throw SinkFailure{std::current_exception()};
        }
        handed += block.size();
    };
    try {
        // A source that fails part-way leaves the next one to continue where it stopped.
        run_with_failover(path,
                          [&](Fetcher& source) { source.stream_from(path, offset + handed, max_bytes, counting); });
    } catch (const SinkFailure& failure) {
        std::rethrow_exception(failure.error);
    }
}

} // namespace gu::patch
