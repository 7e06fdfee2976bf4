#pragma once
// Update progress from the update worker to the window: the worker stores the latest values under
// progressLock and posts WM_APP_UPDATE_PROGRESS without a record; the window thread reads whatever is
// latest, so a burst of posts costs only repeated reads.

#include "patch/transfer_rate.hpp"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace launcher {

class MessagePoster;
struct LauncherState;
struct UpdateProgress;

// What the update worker reports through: the shared record with its lock, and the window's queue.
struct ProgressChannel {
    std::mutex* progressLock = nullptr;
    UpdateProgress* progress = nullptr;
    MessagePoster* window = nullptr;
};

ProgressChannel progressChannelOf(LauncherState& state);

// The three progress callbacks, run on the update worker.
void reportProgressCounts(const ProgressChannel& channel, std::uint64_t done, std::uint64_t total);
void reportProgressStatus(const ProgressChannel& channel, const char* text); // null stores an empty text
void reportProgressSource(const ProgressChannel& channel, int source);

// The update worker's status line for one run: the phase text, and while the run downloads, the transfer
// figures after it ("Downloading game data... 340 of 1,204 MB, 8.4 MB/s, about 2 min left"), in the
// player's language, renewed at most a few times a second so the line stays readable.
class DownloadStatus {
public:
    using Clock = std::function<std::uint64_t()>; // milliseconds of a monotonic clock

    // spanish is asked each time a line with figures is made, as every bilingual text is.
    DownloadStatus(const ProgressChannel& channel, std::function<bool()> spanish, Clock clock = steadyMilliseconds);

    // A new phase: its text goes out at once; figures follow only in a downloading phase.
    void enterPhase(const char* text, bool downloading);
    // The run's counts: reported as they are, and fed to the figures while the phase downloads.
    void counts(std::uint64_t done, std::uint64_t total);

    static std::uint64_t steadyMilliseconds();

private:
    const ProgressChannel& channel_;
    std::function<bool()> spanish_;
    Clock clock_;
    std::string phaseText_;
    bool downloading_ = false;
    gu::patch::TransferRate rate_;
    std::uint64_t shownAt_ = 0;
    std::string shown_;
};

// The window thread's step on WM_APP_UPDATE_PROGRESS: shows the latest values. The status text is left
// in place, so notifications that arrive together show it once each.
void runProgressStep(LauncherState& state);

} // namespace launcher
