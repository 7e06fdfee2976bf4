#include "launcher/shell/update_progress.hpp"

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/window_messages.hpp"

#include <chrono>
#include <string>

namespace launcher {
namespace {

template <typename Store> void report(const ProgressChannel& channel, Store store) {
    {
        std::lock_guard<std::mutex> lock(*channel.progressLock);
        store(*channel.progress);
    }
    channel.window->post(WM_APP_UPDATE_PROGRESS, nullptr);
}

// The figures change the line at most this often: a line that changes with every chunk cannot be read.
constexpr std::uint64_t kFiguresRefreshMs = 500;

} // namespace

DownloadStatus::DownloadStatus(const ProgressChannel& channel, std::function<bool()> spanish, Clock clock)
    : channel_(channel), spanish_(std::move(spanish)), clock_(std::move(clock)) {}

std::uint64_t DownloadStatus::steadyMilliseconds() {
    const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count());
}

void DownloadStatus::enterPhase(const char* text, bool downloading) {
    phaseText_ = text != nullptr ? text : "";
    downloading_ = downloading;
    rate_ = gu::patch::TransferRate();
    shown_.clear();
    reportProgressStatus(channel_, phaseText_.c_str());
}

void DownloadStatus::counts(std::uint64_t done, std::uint64_t total) {
    reportProgressCounts(channel_, done, total);
    if (!downloading_ || total == 0) {
        return;
    }
    const std::uint64_t now = clock_();
    rate_.sample(now, done, total);
    if (!shown_.empty() && now < shownAt_ + kFiguresRefreshMs) {
        return;
    }
    const std::string line = phaseText_ + " " + gu::patch::transfer_figures_text(rate_.figures(), spanish_());
    shownAt_ = now;
    if (line != shown_) {
        shown_ = line;
        reportProgressStatus(channel_, shown_.c_str());
    }
}

ProgressChannel progressChannelOf(LauncherState& state) {
    return ProgressChannel{&state.progressLock, &state.updateProgress, state.poster};
}

void reportProgressCounts(const ProgressChannel& channel, std::uint64_t done, std::uint64_t total) {
    report(channel, [&](UpdateProgress& progress) {
        progress.done = done;
        progress.total = total;
    });
}

void reportProgressStatus(const ProgressChannel& channel, const char* text) {
    report(channel, [&](UpdateProgress& progress) { progress.statusText = text != nullptr ? text : ""; });
}

void reportProgressSource(const ProgressChannel& channel, int source) {
    report(channel, [&](UpdateProgress& progress) { progress.source = source; });
}

void runProgressStep(LauncherState& state) {
    UpdateProgress latest;
    {
        std::lock_guard<std::mutex> lock(state.progressLock);
        latest = state.updateProgress;
    }
    state.window->setProgress(latest.done, latest.total);
    state.window->setSourceIndicator(latest.source);
    if (!latest.statusText.empty()) {
        state.window->setUpdateStatus(latest.statusText, false);
    }
}

} // namespace launcher
