#pragma once
// The figures of a download as a player reads them: how much of how much, how fast, and about how long
// is left, in the launcher's status line and in kyr-patch's terminal line alike. The speed is smoothed
// over the last seconds, nothing is guessed before a few seconds and some bytes were seen, and the time
// left glides instead of jumping with every burst. Time comes in with each count, so tests drive it.
//
// Units are decimal, as download speeds are quoted: 1 KB = 1,000 bytes, 1 MB = 1,000,000 bytes.

#include <cstdint>
#include <optional>
#include <string>

namespace gu::patch {

struct TransferFigures {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::optional<double> bytes_per_s;         // once enough is known
    std::optional<std::uint64_t> seconds_left; // once the speed is known, and while it is not a crawl
};

class TransferRate {
public:
    // The count of one transfer at now_ms of a monotonic clock. A count below the last one, or a new
    // total, is another transfer: everything known is forgotten.
    void sample(std::uint64_t now_ms, std::uint64_t done, std::uint64_t total);

    TransferFigures figures() const;

private:
    void start(std::uint64_t now_ms, std::uint64_t done, std::uint64_t total);
    void fold(std::uint64_t now_ms);

    bool started_ = false;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t first_ms_ = 0;
    std::uint64_t first_done_ = 0;
    std::uint64_t folded_ms_ = 0; // the last count that the speed took in
    std::uint64_t folded_done_ = 0;
    std::optional<double> bytes_per_ms_;
    std::optional<double> ms_left_;
};

// "340 of 1,204 MB, 8.4 MB/s, about 2 min left", or in Spanish "340 de 1.204 MB, 8,4 MB/s, quedan aprox.
// 2 min"; the speed and the time left only when known.
std::string transfer_figures_text(const TransferFigures& figures, bool spanish);

} // namespace gu::patch
