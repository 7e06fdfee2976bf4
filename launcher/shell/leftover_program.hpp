#pragma once
// What a self-update leaves behind: the previous launcher exe, which the patch engine moved aside to
// "<exe>.old" while it ran. The new launcher deletes it at start-up; the previous one may still be ending
// then, and Windows refuses to delete the file of a running program, so the deletion is tried again.

#include <functional>

namespace launcher {

// Calls attempt (true: the file is gone, or was never there) until it succeeds, at most `attempts` times,
// with pause between two tries. True when the file is gone.
bool removeWithRetries(const std::function<bool()>& attempt, const std::function<void()>& pause, int attempts);

// Deletes "<this exe>.old" (and ".old2" to ".old9", left by a self-update retried in one process) in the
// launcher's folder, trying for about ten seconds at most; failures are ignored (the next start tries
// again). Blocks meanwhile: run it on a worker. Windows only.
void removeLeftoverProgram();

} // namespace launcher
