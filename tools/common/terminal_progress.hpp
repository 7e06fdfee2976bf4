#pragma once
// Progress for the command-line tools: one line redrawn in place on a terminal, nothing in a log.

#include "patch/transfer_rate.hpp"

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace kyrtool {

// "12.3 MiB" style, binary units.
std::string human_bytes(std::uint64_t bytes);

// Whether the standard stream with this descriptor is a terminal (1 stdout, 2 stderr).
bool is_terminal(int descriptor);

class ProgressBar {
public:
    ProgressBar(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    // A failure message must not land at the end of a half-drawn bar.
    ~ProgressBar() { end_line(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    bool terminal() const { return terminal_; }

    // Redraws the bar and the transfer figures (the launcher's: size, speed and time left); `label` (may be
    // empty) stands before it, and a new label starts new figures. An update run reports every chunk: the
    // bar is redrawn at most ten times a second, and always when it completes or its label changes.
    void draw(std::uint64_t done, std::uint64_t total, const std::string& label = {});

    // Ends a drawn bar's line so that the next text starts on its own line.
    void end_line();

private:
    std::ostream& out_;
    bool terminal_;
    bool open_ = false;
    std::string label_;
    std::chrono::steady_clock::time_point drawn_at_;
    gu::patch::TransferRate rate_;
};

} // namespace kyrtool
