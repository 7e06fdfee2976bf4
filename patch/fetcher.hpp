#pragma once
// The one door to the patch store: every object is named by its store-relative path and either returned
// in memory or handed block by block to the caller as it arrives; no fetcher writes a file. Errors are
// FetchError; a sink's own exception (a LocalWriteError when its bytes could not be stored) passes unchanged.

#include "patch/fetch_limits.hpp"
#include "patch/transfer_gate.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gu::patch {

// How long a download may wait for its next byte before the transfer counts as failed. Per idle period,
// not per transfer: a slow download that keeps moving is never cut. 0 = no limit.
inline constexpr std::uint32_t kDefaultIdleTimeoutMs = 60000;

// Takes a body's bytes in order as they arrive, in blocks of any size. It may throw: the transfer then
// ends and the exception reaches the caller of stream_from unchanged.
using ByteSink = std::function<void(std::string_view block)>;

// Implementations must allow concurrent calls from several threads (the prefetch workers share one).
struct Fetcher {
    // Whole body of the object, any byte values. A body larger than max_bytes is a FetchError that names
    // the object and the limit (size_limit_message), raised as soon as the size is known or passed: the
    // rest is never read. The callers' limits are in fetch_limits.hpp.
    virtual std::string get(const std::string& path, std::uint64_t max_bytes) = 0;
    // Hands the object's bytes from offset on to sink as they arrive, so that nothing of it need be stored
    // (a pack taken apart while it streams in). max_bytes is the object's known size: the sink never gets
    // more than max_bytes - offset bytes, and a longer body is a FetchError as for get. A source that
    // ignores the request for a range is read from its start and its first offset bytes are dropped, so
    // the sink always starts at offset. A body that ends early (a dropped connection may end it silently)
    // may end without an error: the caller counts what arrived.
    virtual void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                             const ByteSink& sink) = 0;
    virtual ~Fetcher() = default;
    // The run's gate for arriving bytes (the bandwidth limit and the byte count); null detaches it. The
    // engine attaches it before a run's first operation and detaches it after the last. A fetcher that
    // receives bytes passes every block of a body through gate() as it arrives, and ends the transfer as
    // a FetchError "cancelled" when the gate says so; one over other fetchers hands the gate on.
    virtual void attach_gate(TransferGate* gate) { gate_ = gate; }

protected:
    TransferGate* gate() const { return gate_; }

private:
    TransferGate* gate_ = nullptr;
};

// One entry of a failover list. The fetcher is not owned and must outlive the list's user.
struct FetchSource {
    Fetcher* fetcher = nullptr;
    std::string name; // shown in messages; the front end uses the source's base URL
};

} // namespace gu::patch
