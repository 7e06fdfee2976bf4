#pragma once
// One kyr-store command that changes a store at a time (publish, prune): an exclusive flock on
// ".kyr-store.lock" at the store's root. The lock is the kernel's, so a crashed command never leaves it held.

#include <filesystem>

namespace kyrstore {

class StoreLock {
public:
    // Creates the lock file when needed. Throws std::runtime_error when another command holds the lock.
    explicit StoreLock(const std::filesystem::path& store);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace kyrstore
