#include "launcher/shell/worker_thread.hpp"

#include <windows.h>

#include <memory>
#include <new>
#include <utility>

namespace launcher {
namespace {

DWORD WINAPI runWorker(void* parameter) {
    const std::unique_ptr<WorkerBody> body(static_cast<WorkerBody*>(parameter));
    try {
        (*body)();
    } catch (...) {
        // A worker reports through its posted record; with none, there is nobody to tell.
    }
    return 0;
}

} // namespace

// A Win32 thread, its handle closed at once, not a detached std::thread: MinGW's winpthreads recycles the
// record of a thread that ended before pthread_detach while the thread still reaches it through its TLS,
// which corrupts later threads (their joins fail with ESRCH, the process ends in std::terminate).
bool startDetachedWorker(WorkerBody body) {
    auto* handedOver = new (std::nothrow) WorkerBody(std::move(body));
    if (handedOver == nullptr) {
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, runWorker, handedOver, 0, nullptr);
    if (thread == nullptr) {
        delete handedOver;
        return false;
    }
    CloseHandle(thread);
    return true;
}

} // namespace launcher
