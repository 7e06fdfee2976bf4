#pragma once
// The one door to the patch store: every object is named by its store-relative path and either returned
// in memory or written into a local file. Errors are FetchError, or LocalWriteError when the object
// arrived but could not be written.

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
    // Writes the object into dest_file from the start, replacing an existing file. dest_file is the local
    // path as UTF-8 text whatever the platform's narrow code page: on Windows a game folder below
    // "C:\Users\Jörg" must hold downloads too. dest_file never grows past max_bytes (the object's known
    // size): a longer body is a FetchError as for get, and nothing past the limit is written.
    virtual void download(const std::string& path, const std::string& dest_file, std::uint64_t max_bytes) = 0;
    // Whether download_from can continue a partial file.
    virtual bool supports_resume() { return true; }
    // Asks for the bytes from offset on and appends them when the source honours that; otherwise the
    // file is rewritten from the start. dest_file and max_bytes as for download: max_bytes bounds the
    // whole file, the appended rest included.
    virtual void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset,
                               std::uint64_t max_bytes) = 0;
    // Hands the object's bytes from offset on to sink as they arrive, so that nothing of it need be stored
    // (a pack taken apart while it streams in). max_bytes is the object's known size: the sink never gets
    // more than max_bytes - offset bytes, and a longer body is a FetchError as for get. A source that
    // ignores the request for a range is read from its start and its first offset bytes are dropped, so
    // the sink always starts at offset. A body that ends early (a dropped connection may end it silently)
    // may end without an error: the caller counts what arrived. This default takes the whole object with
    // get, which holds it in memory; fetchers of large objects stream it block by block instead.
    virtual void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                             const ByteSink& sink) {
        const std::string body = get(path, max_bytes);
        if (offset < body.size()) {
            sink(std::string_view(body).substr(static_cast<std::size_t>(offset)));
        }
    }
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
