#include "tools/common/terminal_progress.hpp"

#include <cstdio>
#include <iterator>

#include <unistd.h>

namespace kyrtool {

std::string human_bytes(std::uint64_t bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

bool is_terminal(int descriptor) { return ::isatty(descriptor) == 1; }

void ProgressBar::draw(std::uint64_t done, std::uint64_t total, const std::string& label) {
    if (!terminal_) {
        return;
    }
    constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
    const auto now = std::chrono::steady_clock::now();
    if (label != label_) {
        rate_ = gu::patch::TransferRate();
    }
    const auto now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    rate_.sample(static_cast<std::uint64_t>(now_ms), done, total);
    if (open_ && label == label_ && done < total && now - drawn_at_ < kRedrawInterval) {
        return;
    }
    label_ = label;
    drawn_at_ = now;
    constexpr std::uint64_t kWidth = 40;
    const std::uint64_t shown = done > total ? total : done;
    const std::uint64_t filled = total == 0 ? kWidth : shown * kWidth / total;
    out_ << '\r';
    if (!label.empty()) {
        out_ << label << ' ';
    }
    out_ << '[' << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] "
         << (total == 0 ? 100 : shown * 100 / total) << "%  "
         << gu::patch::transfer_figures_text(rate_.figures(), false) << "   " << std::flush;
    open_ = true;
}

void ProgressBar::end_line() {
    if (open_) {
        out_ << '\n' << std::flush;
        open_ = false;
    }
}

} // namespace kyrtool
