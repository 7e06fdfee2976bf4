#pragma once
// Lines logged on a worker thread and passed on later by the run's thread: the run's log callback is only
// ever called there.

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace gu::patch {

class PendingLog {
public:
    void add(std::string line) {
        const std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::move(line));
    }

    // Passes the lines added so far to `log`, in order, and forgets them.
    void forward(const std::function<void(const std::string&)>& log) {
        std::vector<std::string> lines;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            lines.swap(lines_);
        }
        if (log) {
            for (const std::string& line : lines) {
                log(line);
            }
        }
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

} // namespace gu::patch
