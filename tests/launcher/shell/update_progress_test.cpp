#include "launcher/shell/update_progress.hpp"

#include "launcher/shell/launcher_settings.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "support/queue_poster.hpp"

#include <gtest/gtest.h>

namespace launcher {
namespace {

constexpr std::uint64_t kMB = 1000000;

struct StatusRig {
    std::string text() const { return progress.statusText; } // one thread: no lock needed
    std::mutex progressLock;
    UpdateProgress progress;
    kyrtest::QueuePoster queue;
    ProgressChannel channel{&progressLock, &progress, &queue};
    std::uint64_t now = 5000;
    bool spanish = false;
    DownloadStatus status{channel, [this] { return spanish; }, [this] { return now; }};
};

// A 1 MB/s download of 1,204 MB counted every 100 ms: sizes at once, speed and time left once known, the
// player's language at each renewal, at most twice a second; a phase that does not download keeps its text.
TEST(DownloadStatus, ShowsTheFiguresWhileTheRunDownloads) {
    StatusRig rig;
    const auto runUntil = [&](std::uint64_t until) {
        for (; rig.now <= until; rig.now += 100) {
            rig.status.counts((rig.now - 5000) * 1000, 1204 * kMB);
        }
        rig.now -= 100;
    };
    rig.status.enterPhase("Downloading game data...", true);
    EXPECT_EQ(rig.text(), "Downloading game data...");
    runUntil(6000);
    EXPECT_EQ(rig.text(), "Downloading game data... 1 of 1,204 MB");
    runUntil(15000);
    EXPECT_EQ(rig.text(), "Downloading game data... 10 of 1,204 MB, 1.0 MB/s, about 20 min left");
    rig.now += 100;
    rig.status.counts(10 * kMB + 100000, 1204 * kMB);
    EXPECT_EQ(rig.text(), "Downloading game data... 10 of 1,204 MB, 1.0 MB/s, about 20 min left") << "too soon";
    rig.spanish = true;
    rig.now += 500;
    rig.status.counts(11 * kMB, 1204 * kMB);
    EXPECT_EQ(rig.text(), "Downloading game data... 11 de 1.204 MB, 1,1 MB/s, quedan aprox. 20 min");
    rig.status.enterPhase("Installing...", false);
    rig.now += 1000;
    rig.status.counts(500, 1000);
    EXPECT_EQ(rig.text(), "Installing...");
    EXPECT_EQ(rig.progress.done, 500u);
}

TEST(LauncherSettings, DownloadLimitIsDigitsOrNoLimit) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"", 0},   {"500", 500}, {" 2048\t", 2048}, {"9999999", 9999999}, {"10000000", 0},
        {"-5", 0}, {"+5", 0},    {"1.5", 0},        {"500KB", 0},         {"5 00", 0},
    };
    for (const auto& [text, want] : cases) {
        EXPECT_EQ(parseDownloadLimitKBps(text), want) << '"' << text << '"';
    }
}

} // namespace
} // namespace launcher
