#include "patch/pack_stream.hpp"

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <algorithm>
#include <map>
#include <utility>

namespace gu::patch {

PackStream::PackStream(const PackIndex& index, const std::vector<std::uint32_t>& packs,
                       const std::vector<const ManifestChunk*>& wanted, Fetcher& fetcher,
                       const DownloaderConfig& config, const std::string& probe_path, std::uint64_t budget_bytes)
    : index_(index), fetcher_(fetcher), run_log_(config.log), config_(config), store_(fetcher, config_, probe_path),
      budget_bytes_(budget_bytes) {
    config_.log = [this](const std::string& line) { log(line); };
    config_.cancel = [this, cancel = config.cancel] { return stopping_ || (cancel && cancel()); };
    std::map<std::uint32_t, std::vector<Slot>> by_pack; // the wanted chunks of each pack
    for (const ManifestChunk* chunk : wanted) {
        if (const ChunkLocation* location = pack_location(index, *chunk)) {
            by_pack[location->pack].push_back(Slot{location->offset, location->length, &chunk->h, {}, false, false});
        }
    }
    for (const std::uint32_t number : packs) {
        const auto slots = by_pack.find(number);
        if (slots == by_pack.end()) {
            continue; // nothing wanted, or named twice
        }
        Pack& pack = packs_.emplace_back();
        pack.number = number;
        pack.slots = std::move(slots->second);
        by_pack.erase(slots);
        std::sort(pack.slots.begin(), pack.slots.end(),
                  [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
        // One pass over the pack cuts chunks that do not overlap; another one comes from its own object.
        std::uint64_t end = 0;
        const auto overlaps = [&](const Slot& slot) {
            const bool inside = slot.offset >= end && slot.offset + slot.length <= index.packs[number].size;
            end = inside ? slot.offset + slot.length : end;
            return !inside;
        };
        pack.slots.erase(std::remove_if(pack.slots.begin(), pack.slots.end(), overlaps), pack.slots.end());
        for (std::size_t i = 0; i < pack.slots.size(); ++i) {
            slots_.emplace(*pack.slots[i].hash, SlotRef{static_cast<std::uint32_t>(packs_.size() - 1),
                                                        static_cast<std::uint32_t>(i)});
        }
    }
}

PackStream::~PackStream() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stream_wakes_.notify_all();
    files_wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PackStream::start() {
    try {
        thread_ = gu::patch::start_thread(config_.start_thread, [this] { run(); });
    } catch (const std::exception& e) {
        log(std::string("cannot start the pack download (") + e.what() + "): every chunk comes from its own object");
        const std::lock_guard<std::mutex> lock(mutex_);
        for (Pack& pack : packs_) {
            pack.state = State::given_up;
        }
    }
}

void PackStream::log(const std::string& line) {
    log_lines_.add(line);
}

void PackStream::forward_log() {
    log_lines_.forward(run_log_);
}

bool PackStream::all_settled() const {
    return std::none_of(packs_.begin(), packs_.end(), [](const Pack& pack) {
        return pack.state == State::queued || pack.state == State::streaming;
    });
}

bool PackStream::settled() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return all_settled();
}

void PackStream::wait_settled() {
    std::unique_lock<std::mutex> lock(mutex_);
    files_wake_.wait(lock, [&] { return stopping_ || all_settled(); });
}

void PackStream::run() {
    while (Pack* pack = next_pack()) {
        stream(*pack);
    }
}

// The first queued pack in order: a demoted pack given its second chance comes before the one whose
// transfer it interrupted. Waits while there is none.
PackStream::Pack* PackStream::next_pack() {
    std::unique_lock<std::mutex> lock(mutex_);
    Pack* next = nullptr;
    stream_wakes_.wait(lock, [&] {
        const auto queued =
            std::find_if(packs_.begin(), packs_.end(), [](const Pack& pack) { return pack.state == State::queued; });
        next = queued != packs_.end() ? &*queued : nullptr;
        return stopping_ || next != nullptr;
    });
    if (stopping_) {
        return nullptr;
    }
    interrupt_ = false;
    next->state = State::streaming;
    return next;
}

void PackStream::stream(Pack& pack) {
    const PackEntry& entry = index_.packs[pack.number];
    while (true) {
        ++pack.transfers;
        try {
            fetcher_.stream_from("v1/packs/" + entry.name, pack.received, entry.size,
                                 [&](std::string_view block) { receive(pack, block); });
            if (pack.received < entry.size) {
                throw FetchError("cut short at " + std::to_string(pack.received) + " of " +
                                 std::to_string(entry.size) + " bytes");
            }
            Sha256 whole = pack.hasher;
            const Sha256Digest digest = whole.finish();
            if (to_hex(digest.data(), digest.size()) == entry.sha256) {
                ++completed_;
            } else {
                log("pack " + entry.name + " sha mismatch: its chunks rest on their files' hashes");
            }
            settle(pack, State::complete);
            return;
        } catch (const Interrupted&) {
            --pack.transfers; // not a failure: it resumes where it stopped
            settle(pack, State::queued);
            return;
        } catch (const std::exception& e) {
            log("pack " + entry.name + " transfer " + std::to_string(pack.transfers) + " failed: " + e.what() +
                " (" + std::to_string(pack.received) + " of " + std::to_string(entry.size) + " bytes arrived)");
            if (!another_transfer(pack)) {
                log("pack " + entry.name + " demoted: the chunks it did not deliver come one by one");
                settle(pack, pack.second_chance_given || !config_.pack_second_chance ? State::given_up
                                                                                     : State::demoted);
                return;
            }
        }
    }
}

bool PackStream::another_transfer(Pack& pack) {
    if (config_.cancel()) {
        return false;
    }
    const std::uint32_t limit = std::max<std::uint32_t>(1, config_.pack_max_transfers);
    return pack.transfers % limit != 0 &&
           store_.await_store("pack " + index_.packs[pack.number].name, pack.wait_step, pack.waited_ms);
}

void PackStream::settle(Pack& pack, State state) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        pack.state = state;
        if (state == State::given_up || state == State::complete) {
            // What it did not deliver never comes now.
            for (std::size_t i = pack.next_slot; i < pack.slots.size(); ++i) {
                pack.slots[i].gone = true;
            }
        }
    }
    files_wake_.notify_all();
}

// Bytes of the pack from pack.received on: hashed, and cut into the wanted chunks they hold.
void PackStream::receive(Pack& pack, std::string_view block) {
    if (stopping_ || interrupt_) {
        throw Interrupted{};
    }
    pack.hasher.update(block);
    const std::uint64_t start = pack.received;
    const std::uint64_t end = start + block.size();
    while (pack.next_slot < pack.slots.size()) {
        Slot& slot = pack.slots[pack.next_slot];
        const std::uint64_t from = std::max(start, slot.offset + pack.slot_bytes.size());
        const std::uint64_t to = std::min(end, slot.offset + slot.length);
        if (from >= to) {
            break;
        }
        if (pack.slot_bytes.empty()) {
            pack.slot_bytes.reserve(static_cast<std::size_t>(slot.length));
        }
        pack.slot_bytes.append(block.substr(static_cast<std::size_t>(from - start), static_cast<std::size_t>(to - from)));
        if (pack.slot_bytes.size() < slot.length) {
            break;
        }
        ++pack.next_slot;
        deliver(slot, std::exchange(pack.slot_bytes, std::string()));
    }
    pack.received = end;
    arrived_ += block.size();
    wake_files();
}

// The file phase waits for a chunk that arrived: it is woken once per block, not once per chunk, so that a
// block's chunks are taken in one go.
void PackStream::wake_files() {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool wake = std::exchange(files_to_wake_, false);
    lock.unlock();
    if (wake) {
        files_wake_.notify_one();
    }
}

// Waits while the slots that arrived hold the budget, unless the file phase waits for this very chunk.
// When it waits for another one, this one is not kept: the file phase would never take the chunks ahead.
void PackStream::deliver(Slot& slot, std::string bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto fits = [&] { return shelf_bytes_ == 0 || shelf_bytes_ + bytes.size() <= budget_bytes_; };
    if (!fits() && std::exchange(files_to_wake_, false)) {
        files_wake_.notify_one(); // the file phase frees the room this waits for
    }
    stream_waits_for_room_ = true;
    stream_wakes_.wait(lock, [&] { return stopping_ || fits() || awaited_ != nullptr; });
    stream_waits_for_room_ = false;
    if (stopping_) {
        return;
    }
    if (!fits() && awaited_ != &slot) {
        slot.gone = true;
        log_lines_.add("chunk " + *slot.hash + " arrived out of order: it comes from its own object");
    } else {
        shelf_bytes_ += bytes.size();
        slot.bytes = std::move(bytes);
        slot.arrived = true;
    }
    files_to_wake_ = files_to_wake_ || awaited_ != nullptr;
    if (awaited_ == &slot) {
        awaited_ = nullptr; // it waits no longer: the chunks behind this one wait for room as usual
    }
}

std::pair<PackStream::Pack*, PackStream::Slot*> PackStream::find(const std::string& hash) {
    const auto found = slots_.find(hash);
    if (found == slots_.end()) {
        return {nullptr, nullptr};
    }
    Pack& pack = packs_[found->second.pack];
    return {&pack, &pack.slots[found->second.slot]};
}

bool PackStream::will_deliver(const std::string& hash) {
    const auto [pack, slot] = find(hash);
    if (slot == nullptr) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    const State state = pack->state;
    return !slot->gone && state != State::given_up && (state != State::complete || slot->arrived);
}

std::optional<std::string> PackStream::take(const std::string& hash) {
    forward_log();
    const auto [found_pack, slot] = find(hash);
    if (slot == nullptr) {
        return std::nullopt;
    }
    Pack& pack = *found_pack;
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<std::string> bytes;
    while (true) {
        if (slot->arrived && !slot->gone) {
            shelf_bytes_ -= slot->bytes.size();
            bytes = std::exchange(slot->bytes, std::string());
            slot->gone = true;
            break;
        }
        if (stopping_ || slot->gone || pack.state == State::complete || pack.state == State::given_up) {
            break;
        }
        if (pack.state == State::demoted) {
            pack.second_chance_given = true;
            pack.wait_step = 0;
            pack.waited_ms = 0;
            pack.state = State::queued;
            interrupt_ = true;
            log_lines_.add("pack " + index_.packs[pack.number].name +
                           " second chance: the rest of the pack again before its chunks come one by one");
            stream_wakes_.notify_all();
        }
        awaited_ = slot;
        if (stream_waits_for_room_) {
            stream_wakes_.notify_all(); // it keeps no more chunks ahead of this one
        }
        files_wake_.wait(lock);
    }
    awaited_ = nullptr;
    // The stream is woken once half the budget is free, not for every chunk taken.
    const bool room_freed = bytes && stream_waits_for_room_ && shelf_bytes_ <= budget_bytes_ / 2;
    lock.unlock();
    if (room_freed) {
        stream_wakes_.notify_all();
    }
    return bytes;
}

} // namespace gu::patch
