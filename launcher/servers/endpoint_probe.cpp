#include "launcher/servers/endpoint_probe.hpp"

#include "launcher/servers/text_rules.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/window_messages.hpp"
#include "launcher/shell/worker_thread.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace launcher {
namespace {

struct ProbeJob {
    std::string ip;
    int port = 0;
    int result = kProbeFailed;
};

// The slugs of the directory, the selected server moved to the front.
std::vector<std::string> passOrder(LauncherState& state) {
    std::vector<std::string> slugs;
    std::string selected;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        selected = state.selectedServerId;
        for (const ServerEntry& server : state.serverDirectory.servers) {
            slugs.push_back(server.slug);
        }
    }
    const auto found = std::find(slugs.begin(), slugs.end(), selected);
    if (!selected.empty() && found != slugs.end()) {
        std::rotate(slugs.begin(), found, found + 1);
    }
    return slugs;
}

std::vector<ProbeJob> jobsFor(LauncherState& state, const std::string& slug) {
    std::vector<ProbeJob> jobs;
    std::lock_guard<std::mutex> lock(state.launcherLock);
    const int index = findServer(state.serverDirectory, slug);
    if (index >= 0) {
        for (const ServerEndpoint& endpoint : state.serverDirectory.servers[index].endpoints) {
            jobs.push_back(ProbeJob{endpoint.ip, endpoint.port, kProbeFailed});
        }
    }
    return jobs;
}

// One group of probes, shared with its threads, which are detached: each writes its own job and counts
// itself finished, and the caller waits for the count. Nothing is joined, so no failed start or join can
// leave a joinable thread behind to abort the process, and a thread never outlives what it writes to.
struct ProbeGroup {
    std::vector<ProbeJob> jobs;
    std::mutex lock;
    std::condition_variable changed;
    std::size_t finished = 0;
};

void runGroup(std::vector<ProbeJob>::iterator first, std::vector<ProbeJob>::iterator last, const ConnectProbe& connect) {
    const auto group = std::make_shared<ProbeGroup>();
    group->jobs.assign(first, last);
    std::size_t started = 0;
    for (std::size_t i = 0; i < group->jobs.size(); ++i) {
        const bool running = startDetachedWorker([group, i, connect] {
            int result = kProbeFailed;
            try {
                result = connect(group->jobs[i].ip, group->jobs[i].port);
            } catch (...) {
                // Counted as a failed probe: the caller waits for every started thread.
            }
            const std::lock_guard<std::mutex> lock(group->lock);
            group->jobs[i].result = result;
            ++group->finished;
            group->changed.notify_all();
        });
        if (running) {
            ++started;
        } else {
            group->jobs[i].result = connect(group->jobs[i].ip, group->jobs[i].port); // no thread: measure it here
        }
    }
    std::unique_lock<std::mutex> lock(group->lock);
    group->changed.wait(lock, [&] { return group->finished == started; });
    std::copy(group->jobs.begin(), group->jobs.end(), first);
}

void runJobs(std::vector<ProbeJob>& jobs, const ConnectProbe& connect) {
    for (std::size_t first = 0; first < jobs.size(); first += kProbesPerGroup) {
        const std::size_t end = std::min(jobs.size(), first + kProbesPerGroup);
        runGroup(jobs.begin() + static_cast<std::ptrdiff_t>(first), jobs.begin() + static_cast<std::ptrdiff_t>(end),
                 connect);
    }
}

// The directory may have been replaced meanwhile, so the server is looked up again by slug.
void storeLatencies(LauncherState& state, const std::string& slug, const std::vector<ProbeJob>& jobs) {
    std::lock_guard<std::mutex> lock(state.launcherLock);
    const int index = findServer(state.serverDirectory, slug);
    if (index < 0) {
        return;
    }
    for (ServerEndpoint& endpoint : state.serverDirectory.servers[index].endpoints) {
        for (const ProbeJob& job : jobs) {
            if (job.ip == endpoint.ip && job.port == endpoint.port) {
                endpoint.latencyMs = job.result;
                break;
            }
        }
    }
}

// One pass over every server. False when a new pass was asked for before it finished.
bool probePass(LauncherState& state, const ConnectProbe& connect) {
    state.probeAgain.exchange(0);
    for (const std::string& slug : passOrder(state)) {
        std::vector<ProbeJob> jobs = jobsFor(state, slug);
        if (jobs.empty()) {
            continue;
        }
        runJobs(jobs, connect);
        storeLatencies(state, slug, jobs);
        const bool askedAgain = state.probeAgain.load() != 0;
        state.poster->post(WM_APP_PROBE_DONE, nullptr);
        if (askedAgain) {
            return false;
        }
    }
    return true;
}

} // namespace

int tcpConnectMs(const std::string& ip, int port) {
    if (ip.empty() || port < 1 || port > 65535 || !isIPv4Literal(ip)) {
        return kProbeFailed;
    }
    return connectCheckedMs(ip, port);
}

void probeWorker(LauncherState& state) {
    const ConnectProbe connect = state.connectProbe ? state.connectProbe : ConnectProbe(tcpConnectMs);
    int restarts = 0;
    for (;;) {
        const bool fullPass = probePass(state, connect);
        if (!fullPass && ++restarts < kMaxProbeRestarts) {
            continue;
        }
        state.probeBusy.exchange(0);
        // A request raised after the last check would otherwise find a busy flag and be lost. A worker
        // that hit its restart limit does not come back for it; the next request starts a new one.
        std::int32_t idle = 0;
        if (!fullPass || state.probeAgain.load() == 0 || !state.probeBusy.compare_exchange_strong(idle, 1)) {
            return;
        }
    }
}

} // namespace launcher
