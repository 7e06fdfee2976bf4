#pragma once
// The pack downloader of one update run: whole packs (many chunk objects in one store file) downloaded
// into the cache folder with a resumable partial file, checked by size and SHA-256, retried a bounded
// number of times, and demoted to per-chunk fetching when they cannot be obtained.
//
// Files in the cache folder, for a pack entry with name N and sha S:
//   N                        the complete pack
//   "current.part"           the one active partial download, of whichever pack is being downloaded
//   "current.part.owner"     the text N + " " + S of the pack that the active partial belongs to
//   N + "." + S[0..8) + ".part"  a parked partial, resumed when the same pack (same S) is downloaded again

#include "patch/chunk_fetch.hpp"
#include "patch/downloader_config.hpp"
#include "patch/fetcher.hpp"
#include "patch/store_records.hpp"
#include "patch/store_retry.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace gu::patch {

// References into the run's own counters (RunResult).
struct PackCounters {
    std::uint64_t& bytes_downloaded;
    std::uint32_t& packs_downloaded;
};

// Free bytes for new files in a folder; nothing when that cannot be told.
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;

class PackCache final : public PackFiles {
public:
    // Everything referenced must outlive the cache. The cache folder is made a real folder (a link in its
    // place removed as a link) when a pack is first looked for.
    PackCache(const PackIndex& index, std::filesystem::path packs_dir, Fetcher& engine_fetcher,
              const DownloaderConfig& engine_config, StoreRetry& engine_store, PackCounters counters);

    // Local file of the complete, verified pack, downloading it when needed; nothing when the pack is
    // demoted or excluded, or cannot be obtained (it is then demoted). Throws LocalWriteError (the disk
    // refused a write) and "cancelled".
    std::optional<std::filesystem::path> local_pack_path(std::uint32_t pack);

    // The pack phase of a run: local_pack_path for each pack in order, except that a downloaded pack's
    // SHA-256 is checked while the next pack downloads (the pack gets its final name before its check; one
    // that fails it is deleted and its remaining transfers follow at once). settled(i) is called in order
    // once packs[i] is ready or demoted. Throws like local_pack_path; cancel is polled before each pack.
    void download_all(const std::vector<std::uint32_t>& packs, const std::function<void(std::size_t)>& settled);

    // local_pack_path, after giving a demoted pack its one second chance when the configuration allows.
    std::optional<std::filesystem::path> pack_for_chunk(std::uint32_t pack) override;

    // Deletes the pack's complete file and forgets it, once no file of the run needs it any more. Logs
    // nothing: the run writes the eviction line.
    void evict(std::uint32_t pack);

    std::set<std::uint32_t> demoted;  // fell back to per-chunk fetching
    std::set<std::uint32_t> excluded; // never downloaded: unusable as a local file name, or too big for the disk
    std::map<std::uint32_t, std::filesystem::path> ready; // complete, verified pack files
    std::set<std::uint32_t> second_chance_given;
    const PackIndex& pack_index;
    std::filesystem::path cache_dir;
    std::vector<std::uint32_t> used_packs; // complete files used in this run, found valid or downloaded
    std::uint64_t pack_bytes = 0;          // total size of used_packs
    Fetcher& fetcher;
    const DownloaderConfig& config;
    StoreRetry& store;
    PackCounters stats;
    // Seam for tests; by default the file system's available space.
    FreeSpaceQuery free_space;

private:
    // One pack's series of transfers: the number of the next one, and the store-wait counters.
    struct Transfers {
        std::uint32_t pack;
        std::uint32_t next;
        unsigned step;
        std::uint64_t waited_ms;
    };
    // A complete pack under its final name whose SHA-256 is being computed.
    struct PendingCheck {
        Transfers transfers;
        std::filesystem::path final_path;
        std::uint64_t size;
        std::uint64_t offset;
        std::future<std::string> sha256;
    };

    void log(const std::string& line) const;
    bool cancelled() const;
    bool usable_entry(std::uint32_t pack, const PackEntry& entry);
    bool fits_on_disk(std::uint32_t pack, const PackEntry& entry);
    void accept(std::uint32_t pack, const std::filesystem::path& file, std::uint64_t size);
    // local_pack_path; with `deferred`, a downloaded pack's check is left in it instead of waited for.
    std::optional<std::filesystem::path> obtain(std::uint32_t pack, std::optional<PendingCheck>* deferred);
    void prepare_partials(const PackEntry& entry);
    std::optional<std::filesystem::path> transfer(Transfers& transfers, std::optional<PendingCheck>* deferred);
    std::optional<std::filesystem::path> settle(PendingCheck& check);
    bool another_transfer(Transfers& transfers);
    void log_failed_transfer(const Transfers& transfers, const std::string& what, std::uint64_t offset,
                             std::uint64_t on_disk);
    void complete(std::uint32_t pack, const std::filesystem::path& final_path, std::uint64_t size,
                  std::uint64_t offset);
    void demote(const Transfers& transfers);
    std::uint32_t transfer_limit() const;
};

} // namespace gu::patch
