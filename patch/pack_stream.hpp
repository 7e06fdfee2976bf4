#pragma once
// The packs of a run, taken apart as they stream in. A thread of its own downloads the needed packs one
// after another and cuts each into the chunk objects that the run is missing; the file phase takes them as
// it assembles its files. No pack is stored, so each byte of the game reaches the disk once, in its file.
//
// A pack is still checked whole, by its size and by its SHA-256 computed as it arrives; each chunk is checked
// by its own hash when the file phase takes it, since it is used before its pack is complete. A transfer
// that ends early is resumed at the byte where it stopped. After pack_max_transfers transfers (with the
// store waits between them) a pack is demoted, and the chunks it did not deliver come from their own
// objects, after one second chance, the rest of the pack again, when the file phase first asks for one.
//
// Memory: chunks that arrived and were not taken yet stay within a budget; past it the stream waits for the
// file phase. The store lays a pack out in the order files use its chunks, so the file phase takes them in
// the order they arrive; with packs laid out otherwise, a chunk that arrives while the file phase waits for
// another one and the budget is spent is not kept, and comes from its own object.

#include "patch/chunk_fetch.hpp"
#include "patch/downloader_config.hpp"
#include "patch/fetcher.hpp"
#include "patch/pending_log.hpp"
#include "patch/sha256.hpp"
#include "patch/store_records.hpp"
#include "patch/store_retry.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <unordered_map>
#include <vector>

namespace gu::patch {

class PackStream final : public PackChunks {
public:
    static constexpr std::uint64_t kDefaultBudgetBytes = 4 * 1024 * 1024;

    // Streams `packs` of the index in that order, delivering the chunks of `wanted` that lie in them (a
    // location of another length than the manifest's is not used). The chunks are not copied: they must
    // outlive the stream, like everything else referenced. probe_path is the document whose answer
    // proves the store reachable again. Nothing happens before start().
    PackStream(const PackIndex& index, const std::vector<std::uint32_t>& packs,
               const std::vector<const ManifestChunk*>& wanted, Fetcher& fetcher, const DownloaderConfig& config,
               const std::string& probe_path, std::uint64_t budget_bytes = kDefaultBudgetBytes);
    // Ends the transfer under way and waits for the thread.
    ~PackStream();
    PackStream(const PackStream&) = delete;
    PackStream& operator=(const PackStream&) = delete;

    // Starts the thread; when none can be started, every chunk is left to its own object.
    void start();

    bool will_deliver(const std::string& hash) override;
    std::optional<std::string> take(const std::string& hash) override;

    // Passes the lines the stream logged to the configuration's log, on the calling thread (the run's).
    void forward_log();
    // Every pack is complete or demoted (a demoted pack may still get its second chance); the wait
    // returns once that holds.
    bool settled();
    void wait_settled();

    std::uint64_t bytes_arrived() const { return arrived_; }
    std::uint32_t packs_completed() const { return completed_; }

private:
    // A wanted chunk of a pack. Its bytes wait in it between their arrival and the file phase's take.
    struct Slot {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        const std::string* hash = nullptr;
        std::string bytes;
        bool arrived = false;
        bool gone = false; // taken, not kept, or never to come
    };
    struct SlotRef {
        std::uint32_t pack = 0; // position in packs_
        std::uint32_t slot = 0;
    };
    enum class State { queued, streaming, complete, demoted, given_up };
    // One pack's progress, kept between its transfers: what arrived, its hash so far, the chunk being cut.
    struct Pack {
        std::uint32_t number = 0;
        std::vector<Slot> slots; // wanted chunks by offset, none overlapping
        std::size_t next_slot = 0;
        std::string slot_bytes;
        std::uint64_t received = 0;
        Sha256 hasher;
        std::uint32_t transfers = 0;
        unsigned wait_step = 0;
        std::uint64_t waited_ms = 0;
        State state = State::queued;
        bool second_chance_given = false;
    };
    struct Interrupted {}; // the transfer stops for a pack the file phase waits for, or for good

    bool all_settled() const; // with the lock held
    void run();
    Pack* next_pack();
    void stream(Pack& pack);
    bool another_transfer(Pack& pack);
    void receive(Pack& pack, std::string_view block);
    void deliver(Slot& slot, std::string bytes);
    void wake_files();
    std::pair<Pack*, Slot*> find(const std::string& hash);
    void settle(Pack& pack, State state);
    void log(const std::string& line);

    const PackIndex& index_;
    Fetcher& fetcher_;
    const LogLine run_log_;
    DownloaderConfig config_; // the run's, logging into log_lines_ and also cancelled by the destructor
    StoreRetry store_;
    const std::uint64_t budget_bytes_;
    std::deque<Pack> packs_; // in streaming order
    std::unordered_map<std::string_view, SlotRef> slots_; // by chunk hash

    // Guards the packs' states and their slots' bytes and flags; the rest of a pack is its thread's.
    std::mutex mutex_;
    // Each side is woken only when it waits: a wake-up per chunk would cost more than cutting it.
    std::condition_variable stream_wakes_; // room on the shelf, a pack to stream, the end
    std::condition_variable files_wake_;   // a chunk or a pack settled
    bool stream_waits_for_room_ = false;
    std::uint64_t shelf_bytes_ = 0;  // of the slots that arrived and were not taken
    const Slot* awaited_ = nullptr;  // the chunk the file phase waits for
    bool files_to_wake_ = false;     // a chunk arrived while the file phase waited
    PendingLog log_lines_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> interrupt_{false}; // a pack given its second chance goes first
    std::atomic<std::uint64_t> arrived_{0};
    std::atomic<std::uint32_t> completed_{0};
    std::thread thread_;
};

} // namespace gu::patch
