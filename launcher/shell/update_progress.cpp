#include "launcher/shell/update_progress.hpp"

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/window_messages.hpp"

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

} // namespace

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
