#include "patch/transfer_rate.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace gu::patch {
namespace {

// Counts closer together than this are taken in together: a chunk every millisecond is no speed.
constexpr std::uint64_t kFoldMs = 250;
// Enough to tell a speed: this long since the first count, and this many bytes.
constexpr std::uint64_t kWarmUpMs = 2000;
constexpr std::uint64_t kWarmUpBytes = 100000;
// Time constants of the smoothing: the speed follows the last few seconds, the time left more slowly.
constexpr double kSpeedTauMs = 4000;
constexpr double kTimeLeftTauMs = 8000;
// Beyond this the time left means nothing to a player (a stalled line).
constexpr double kLongestTimeLeftMs = 100.0 * 3600 * 1000;

double smoothing(std::uint64_t elapsed_ms, double tau_ms) {
    return 1 - std::exp(-static_cast<double>(elapsed_ms) / tau_ms);
}

struct Words {
    char thousands;
    char decimal;
    const char* of;
    const char* left_before;
    const char* left_after;
};

const Words kEnglish{',', '.', " of ", ", about ", " left"};
const Words kSpanish{'.', ',', " de ", ", quedan aprox. ", ""};

std::string whole(std::uint64_t value, const Words& words) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, words.thousands);
    }
    return digits;
}

// One decimal, cut (not rounded) so that a count never reads as more than it is.
std::string tenths(std::uint64_t tenth_count, const Words& words) {
    return whole(tenth_count / 10, words) + words.decimal + std::to_string(tenth_count % 10);
}

// Both counts in the total's unit: done rounded down, so a transfer reads complete only when it is.
std::string amounts(std::uint64_t done, std::uint64_t total, const Words& words) {
    const auto pair = [&](std::uint64_t done_units, std::uint64_t total_units, const char* unit) {
        return whole(done_units, words) + words.of + whole(total_units, words) + unit;
    };
    if (total < 1000000) {
        return pair(done / 1000, (total + 500) / 1000, " KB");
    }
    if (total < 10000000) {
        return tenths(done / 100000, words) + words.of + tenths((total + 50000) / 100000, words) + " MB";
    }
    if (total < 10000000000ULL) {
        return pair(done / 1000000, (total + 500000) / 1000000, " MB");
    }
    return tenths(done / 100000000, words) + words.of + tenths((total + 50000000) / 100000000, words) + " GB";
}

std::string speed(double bytes_per_s, const Words& words) {
    const auto rounded = [](double value) { return static_cast<std::uint64_t>(std::llround(value)); };
    if (bytes_per_s < 999500) {
        return whole(rounded(bytes_per_s / 1000), words) + " KB/s";
    }
    if (bytes_per_s < 99950000) {
        return tenths(rounded(bytes_per_s / 100000), words) + " MB/s";
    }
    return whole(rounded(bytes_per_s / 1000000), words) + " MB/s";
}

// Seconds under a minute (in fives, rounded up), minutes under an hour, then hours and tens of minutes.
std::string duration(std::uint64_t seconds) {
    if (seconds < 58) {
        const std::uint64_t fives = seconds < 5 ? 5 : (seconds + 4) / 5 * 5;
        return std::to_string(fives) + " s";
    }
    const std::uint64_t minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return std::to_string(minutes) + " min";
    }
    const std::uint64_t tens = (minutes + 5) / 10;
    const std::uint64_t hours = tens / 6;
    if (hours >= 10 || tens % 6 == 0) {
        return std::to_string((minutes + 30) / 60) + " h";
    }
    return std::to_string(hours) + " h " + std::to_string(tens % 6 * 10) + " min";
}

} // namespace

void TransferRate::start(std::uint64_t now_ms, std::uint64_t done, std::uint64_t total) {
    *this = TransferRate();
    started_ = true;
    total_ = total;
    first_ms_ = folded_ms_ = now_ms;
    first_done_ = folded_done_ = done;
}

void TransferRate::sample(std::uint64_t now_ms, std::uint64_t done, std::uint64_t total) {
    if (!started_ || done < done_ || total != total_) {
        start(now_ms, done, total);
    }
    done_ = done;
    if (now_ms >= folded_ms_ + kFoldMs) {
        fold(now_ms);
    }
}

void TransferRate::fold(std::uint64_t now_ms) {
    const std::uint64_t elapsed = now_ms - folded_ms_;
    const double recent = static_cast<double>(done_ - folded_done_) / static_cast<double>(elapsed);
    folded_ms_ = now_ms;
    folded_done_ = done_;
    if (!bytes_per_ms_) {
        if (now_ms - first_ms_ < kWarmUpMs || done_ - first_done_ < kWarmUpBytes) {
            return;
        }
        bytes_per_ms_ = static_cast<double>(done_ - first_done_) / static_cast<double>(now_ms - first_ms_);
    } else {
        *bytes_per_ms_ += smoothing(elapsed, kSpeedTauMs) * (recent - *bytes_per_ms_);
    }
    const double remaining = static_cast<double>(total_ > done_ ? total_ - done_ : 0);
    const double estimate =
        *bytes_per_ms_ > 0 ? std::min(remaining / *bytes_per_ms_, kLongestTimeLeftMs) : kLongestTimeLeftMs;
    if (!ms_left_ || remaining == 0) {
        ms_left_ = estimate;
        return;
    }
    // The time left counts down by itself and leans towards the new estimate only gradually.
    const double counted_down = std::max(0.0, *ms_left_ - static_cast<double>(elapsed));
    ms_left_ = counted_down + smoothing(elapsed, kTimeLeftTauMs) * (estimate - counted_down);
}

TransferFigures TransferRate::figures() const {
    TransferFigures figures;
    figures.done = done_;
    figures.total = total_;
    if (bytes_per_ms_) {
        figures.bytes_per_s = *bytes_per_ms_ * 1000;
    }
    if (ms_left_ && *ms_left_ < kLongestTimeLeftMs && done_ < total_) {
        figures.seconds_left = static_cast<std::uint64_t>(std::llround(*ms_left_ / 1000));
    }
    return figures;
}

std::string transfer_figures_text(const TransferFigures& figures, bool spanish) {
    const Words& words = spanish ? kSpanish : kEnglish;
    std::string text = amounts(figures.done, figures.total, words);
    if (figures.bytes_per_s) {
        text += ", " + speed(*figures.bytes_per_s, words);
    }
    if (figures.seconds_left) {
        text += words.left_before + duration(*figures.seconds_left) + words.left_after;
    }
    return text;
}

} // namespace gu::patch
