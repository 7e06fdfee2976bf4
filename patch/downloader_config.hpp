#pragma once
// Settings of one update run. The defaults are the product's; the launcher's front end changes only
// a few of them, tools and tests change the timings.

#include "patch/fetcher.hpp"
#include "patch/thread_starter.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gu::patch {

// Trust key of the default store. Empty until a build is branded with its operator's key, so that an
// unbranded build refuses to run rather than trusting a key nobody owns.
inline constexpr const char* kDefaultPubkeyB64 = "";

struct DownloaderConfig {
    std::string product = "valdra7q";
    std::string channel = "windows";
    std::string platform = "windows-x86";
    std::string pubkey_b64 = kDefaultPubkeyB64;
    // Seconds since 1970 (UTC) against which a channel's expiry is judged, read once as the run starts.
    // Empty: the system clock.
    std::function<std::int64_t()> now_utc;
    std::string root_dir;
    bool flat_manifest_path = false;
    std::string done_marker = ".update_done";
    std::string apk_path = "client/valdra7q.apk";
    std::uint32_t pack_min_chunks = 512; // 0 = never use packs
    bool transactional = false;
    bool skip_apk = true;
    std::vector<std::uint32_t> store_wait_ladder_ms{2000, 5000, 10000, 20000, 40000, 60000};
    std::uint32_t pack_max_transfers = 6;
    std::uint64_t store_wait_budget_ms = 200000;
    bool wait_for_store = true;
    bool pack_second_chance = true;
    std::vector<std::uint32_t> chunk_retry_delays_ms{500, 1500, 3000};
    std::vector<std::uint32_t> document_retry_delays_ms{1000, 3000};
    std::uint64_t document_budget_ms = 120000; // 0 = no limit
    // A run that installs in place records the files it installed in the patch state at least this often,
    // so that a crash or a power cut costs the next run at most this much work again (0 = after each file).
    std::uint64_t record_installed_every_ms = 60000;
    std::uint32_t prefetch_workers = 1;
    // How long a download may go without a byte before the attempt fails (0 = no limit). The engine only
    // carries it: whoever builds the fetchers hands it to them.
    std::uint32_t idle_timeout_ms = kDefaultIdleTimeoutMs;
    // All downloads of the run together (chunks, packs, documents, every worker) stay within this many
    // bytes per second on average over any few seconds; 0 = no limit. The run puts a gate into the
    // fetcher it is given, so every fetcher in it is held to the limit.
    std::uint64_t download_limit_bytes_per_s = 0;
    std::function<bool()> cancel;
    std::function<void(const std::string&)> log;
    bool prepare_root = true;
    std::uint64_t disk_margin_bytes = 209715200;
    std::string anchor_dir; // empty = no trust anchor
    ThreadStarter start_thread; // empty = std::thread
    // After a successful run, remove the files that the previous run installed and this version no longer
    // lists, when they still hold exactly what that run installed.
    bool remove_dropped = false;
    // The file, relative to the root, of the program running this update (the launcher's exe), compared
    // as Windows compares names. A new version of it is moved in by moving the running file aside.
    std::string running_program;
};

struct RunResult {
    bool ok = false;
    std::string error;
    std::string version;
    std::uint32_t files_installed = 0;
    std::uint32_t files_current = 0;
    std::uint32_t files_preserved = 0;
    std::uint32_t chunks_obtained = 0;
    std::uint64_t bytes_downloaded = 0;
    std::uint32_t packs_downloaded = 0;
    bool used_pack_index = false;
    bool apk_ready = false;
    std::string apk_path;
    std::string apk_sha;
    bool local_write_failed = false;
    std::uint64_t space_wanted_bytes = 0;
    std::uint64_t space_free_bytes = 0;
    std::uint32_t files_removed = 0; // dropped files removed (remove_dropped)
    std::uint32_t files_written = 0; // files written, staged or in place, also by a run that then failed
    bool running_program_replaced = false; // a new version of running_program is in place
};

// done_items, total_items, chunks_obtained, done_bytes, total_bytes
using ProgressCallback = std::function<void(unsigned, unsigned, unsigned, std::uint64_t, std::uint64_t)>;
// 0 checking, 1 downloading packs, 2 installing after packs, 3 downloading and installing chunk by chunk
using PhaseCallback = std::function<void(int)>;

} // namespace gu::patch
