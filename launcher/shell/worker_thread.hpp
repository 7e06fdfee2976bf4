#pragma once

#include <functional>

namespace launcher {

using WorkerBody = std::function<void()>;

// Starts body on a new thread; false when no thread could be created (body then never runs).
using WorkerStarter = std::function<bool(WorkerBody body)>;

// The launcher's starter: a detached thread that nothing waits for. An exception escaping body ends
// there, so none crosses the thread's entry.
bool startDetachedWorker(WorkerBody body);

} // namespace launcher
