#pragma once
// Update progress from the update worker to the window: the worker stores the latest values under
// progressLock and posts WM_APP_UPDATE_PROGRESS without a record; the window thread reads whatever is
// latest, so a burst of posts costs only repeated reads.

#include <cstdint>
#include <mutex>

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

// The window thread's step on WM_APP_UPDATE_PROGRESS: shows the latest values. The status text is left
// in place, so notifications that arrive together show it once each.
void runProgressStep(LauncherState& state);

} // namespace launcher
