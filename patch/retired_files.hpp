#pragma once
// A file replaced by a rename loses its blocks inside the rename, on the thread that renames: on ext4 about
// 10 ms for 32 MiB, mostly waiting for the disk, and an update replaces hundreds of files one after another
// on the run's thread. Where the system allows it, the old file is held open across the rename and closed
// on a thread of its own, which frees its blocks while the run goes on. The folder sees the same rename.

#include "patch/thread_starter.hpp"

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace gu::patch {

class RetiredFiles {
public:
    explicit RetiredFiles(ThreadStarter start_thread = {});
    // Closes what is still held, then ends the thread.
    ~RetiredFiles();
    RetiredFiles(const RetiredFiles&) = delete;
    RetiredFiles& operator=(const RetiredFiles&) = delete;

    // Runs `replace`, which moves a file onto `target`, with the file at `target` held open; the old file
    // is then closed on the thread. Exceptions of `replace` pass through. Without a thread (the platform
    // refuses one) the old file is closed here.
    void replace(const std::filesystem::path& target, const std::function<void()>& replace);

    // At most this many old files are held at once; past it a rename frees its old file itself, so a
    // closing thread that falls behind never takes the run's file handles.
    static constexpr std::size_t kMostHeld = 64;

private:
    void close_held();

    const ThreadStarter start_thread_;
    std::mutex mutex_;
    std::condition_variable wakes_;
    std::vector<int> to_close_;
    std::size_t held_ = 0; // queued or being closed
    bool stopping_ = false;
    std::thread thread_; // started with the first file held
};

namespace detail {
// A reference to the file at `path`, not followed if it is a link, that keeps its blocks allocated once its
// name goes to another file; -1 when there is none (nothing there, or a system whose rename refuses a
// target that is open).
int hold_file(const std::filesystem::path& path);
void release_held_file(int handle);
} // namespace detail

} // namespace gu::patch
