#pragma once
// One launcher per game folder: two would update the same files at once. The lock is a named mutex whose
// name comes from the folder's full path, so that every spelling of one folder (letter case, short names)
// meets the same lock. The launcher takes it first thing; a second launcher brings the first one's window
// forward and ends. Windows only.

#include <string>

namespace launcher {

class FolderLock {
public:
    // The lock of the folder that holds the running program; no lock is taken yet.
    FolderLock();
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // True when this process holds the lock now (a launcher that ended without letting go counts as gone);
    // false while another launcher of the folder holds it. Take and release on the same thread.
    bool take();
    // Lets another launcher of the folder take the lock: the one that a self-update starts in this one's
    // place.
    void release();

    // Restores and raises the window of class windowClass that the launcher holding the lock shows,
    // waiting a little for it while that launcher is still starting.
    void bringForwardHolder(const char* windowClass) const;

private:
    std::wstring folder_; // full path, in capitals
    void* mutex_ = nullptr;
    bool held_ = false;
};

} // namespace launcher
