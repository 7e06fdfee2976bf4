#include "patch/pack_cache.hpp"

#include "patch/atomic_file.hpp"
#include "patch/durable_file.hpp"
#include "patch/engine_file.hpp"
#include "patch/errors.hpp"
#include "patch/file_hash.hpp"
#include "patch/folder_cleanup.hpp"
#include "patch/link_test.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <future>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>

namespace gu::patch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCurrentPart = "current.part";
constexpr std::string_view kCurrentOwner = "current.part.owner";
constexpr std::string_view kPartSuffix = ".part";
constexpr std::size_t kParkedShaChars = 8;

bool is_lower_hex(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The pack index's parser keeps names to one segment without "..". Inside the cache folder a name must
// also not be a name of the cache's own files (the partials), nor one that Windows reads as a drive or
// stream (":") or shortens (a trailing dot or blank). The sha becomes part of the parked partial's name
// and can only ever match 64 lower-case hex digits.
bool is_usable_entry(const PackEntry& entry) {
    const std::string_view name = entry.name;
    if (name.empty() || name.find(':') != std::string_view::npos || name.back() == '.' || name.back() == ' ') {
        return false;
    }
    if (ends_with(name, kPartSuffix) || name == kCurrentOwner) {
        return false;
    }
    return entry.sha256.size() == 64 && is_lower_hex(entry.sha256);
}

std::string parked_name(const PackEntry& entry) {
    return entry.name + "." + entry.sha256.substr(0, kParkedShaChars) + std::string(kPartSuffix);
}

// Whether file_name has the shape of a parked partial of the pack named name, at any version. Only that
// exact shape counts, so that the partials of a pack named "a.b" or the active "current.part" are never
// taken for partials of a pack named "a" or "current".
bool is_parked_partial_of(std::string_view file_name, std::string_view name) {
    if (file_name.size() != name.size() + 1 + kParkedShaChars + kPartSuffix.size() ||
        file_name.substr(0, name.size()) != name || file_name[name.size()] != '.' ||
        !ends_with(file_name, kPartSuffix)) {
        return false;
    }
    return is_lower_hex(file_name.substr(name.size() + 1, kParkedShaChars));
}

// A link is never taken for a partial: resuming into one would write wherever it points.
std::optional<std::uint64_t> regular_file_size(const fs::path& file) {
    std::error_code ec;
    if (is_link(file) || !fs::is_regular_file(file, ec)) {
        return std::nullopt;
    }
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size);
}

void remove_quietly(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

// Reads no more than the expected text plus one byte, whatever lies in the file.
bool owner_matches(const fs::path& owner_file, const std::string& text) {
    std::ifstream in(owner_file, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    std::string found(text.size() + 1, '\0');
    in.read(found.data(), static_cast<std::streamsize>(found.size()));
    found.resize(static_cast<std::size_t>(in.gcount()));
    return found == text;
}

bool write_owner(const fs::path& owner_file, const std::string& text) {
    std::FILE* out = create_file_anew(owner_file);
    if (out == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && written;
}

std::optional<std::uint64_t> available_space(const fs::path& folder) {
    std::error_code ec;
    const fs::space_info info = fs::space(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.available);
}

} // namespace

PackCache::PackCache(const PackIndex& index, fs::path packs_dir, Fetcher& engine_fetcher,
                     const DownloaderConfig& engine_config, StoreRetry& engine_store, PackCounters counters)
    : pack_index(index), cache_dir(std::move(packs_dir)), fetcher(engine_fetcher), config(engine_config),
      store(engine_store), stats(counters), free_space(available_space) {}

void PackCache::log(const std::string& line) const {
    if (config.log) {
        config.log(line);
    }
}

bool PackCache::cancelled() const {
    return config.cancel && config.cancel();
}

bool PackCache::usable_entry(std::uint32_t pack, const PackEntry& entry) {
    if (is_usable_entry(entry)) {
        return true;
    }
    excluded.insert(pack);
    log("pack " + entry.name + " excluded: its name or sha cannot name a file in the pack cache");
    return false;
}

// A pack that cannot fit would fill the disk and then fail the whole run with a local write error, while
// its chunks one by one may still fit beside the installed files.
bool PackCache::fits_on_disk(std::uint32_t pack, const PackEntry& entry) {
    const std::optional<std::uint64_t> free = free_space ? free_space(cache_dir) : std::nullopt;
    if (!free) {
        return true;
    }
    std::uint64_t on_disk = 0;
    if (fetcher.supports_resume()) {
        const std::optional<std::uint64_t> parked = regular_file_size(cache_dir / fs::u8path(parked_name(entry)));
        const std::optional<std::uint64_t> current = regular_file_size(cache_dir / kCurrentPart);
        if (parked && *parked < entry.size) {
            on_disk = *parked;
        } else if (current && *current < entry.size &&
                   owner_matches(cache_dir / kCurrentOwner, entry.name + " " + entry.sha256)) {
            on_disk = *current;
        }
    }
    const std::uint64_t needed = entry.size - on_disk;
    if (needed <= *free) {
        return true;
    }
    excluded.insert(pack);
    log("pack " + entry.name + " excluded: needs " + std::to_string(needed) + " more bytes, " + std::to_string(*free) +
        " free in " + path_text(cache_dir));
    return false;
}

void PackCache::accept(std::uint32_t pack, const fs::path& file, std::uint64_t size) {
    ready[pack] = file;
    used_packs.push_back(pack);
    pack_bytes += size;
}

std::optional<fs::path> PackCache::local_pack_path(std::uint32_t pack) {
    return obtain(pack, nullptr);
}

std::optional<fs::path> PackCache::obtain(std::uint32_t pack, std::optional<PendingCheck>* deferred) {
    if (demoted.count(pack) != 0 || excluded.count(pack) != 0) {
        return std::nullopt;
    }
    if (const auto found = ready.find(pack); found != ready.end()) {
        return found->second;
    }
    if (pack >= pack_index.packs.size()) {
        return std::nullopt;
    }
    const PackEntry& entry = pack_index.packs[pack];
    if (!usable_entry(pack, entry)) {
        return std::nullopt;
    }

    // Made a real folder before anything in it is looked at: a link in its place would lead the removal
    // of a stale pack out of the game folder.
    make_engine_folder(cache_dir);
    const fs::path final_path = cache_dir / fs::u8path(entry.name);
    std::error_code ec;
    if (fs::exists(final_path, ec)) {
        bool valid = false;
        if (regular_file_size(final_path) == entry.size) {
            try {
                valid = sha256_hex_file(final_path) == entry.sha256;
            } catch (const VerifyError&) {
            }
        }
        if (valid) {
            accept(pack, final_path, entry.size);
            return final_path;
        }
        remove_quietly(final_path);
    }

    if (!fits_on_disk(pack, entry)) {
        return std::nullopt;
    }
    prepare_partials(entry);
    Transfers transfers{pack, 1, 0, 0};
    return transfer(transfers, deferred);
}

void PackCache::prepare_partials(const PackEntry& entry) {
    const std::string parked_file = parked_name(entry);
    std::vector<std::string> stale;
    std::error_code ec;
    for (fs::directory_iterator it(cache_dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file_name = it->path().filename().u8string();
        if (file_name != parked_file && is_parked_partial_of(file_name, entry.name)) {
            stale.push_back(file_name);
        }
    }
    std::sort(stale.begin(), stale.end());
    // Whatever lies under a stale partial's name goes, a link as a link.
    for (const std::string& file_name : stale) {
        if (remove_tree_no_follow(cache_dir / fs::u8path(file_name))) {
            log("pack " + entry.name + " stale partial " + file_name + " discarded");
        }
    }

    const fs::path parked = cache_dir / fs::u8path(parked_file);
    if (fetcher.supports_resume() && regular_file_size(parked)) {
        const fs::path part = cache_dir / kCurrentPart;
        remove_quietly(part);
        remove_quietly(cache_dir / kCurrentOwner);
        fs::rename(parked, part, ec);
        // A failed owner write only costs the resume: the transfer below then starts afresh.
        write_owner(cache_dir / kCurrentOwner, entry.name + " " + entry.sha256);
    }
}

std::uint32_t PackCache::transfer_limit() const {
    return std::max<std::uint32_t>(1, config.pack_max_transfers);
}

void PackCache::log_failed_transfer(const Transfers& transfers, const std::string& what, std::uint64_t offset,
                                    std::uint64_t on_disk) {
    const PackEntry& entry = pack_index.packs[transfers.pack];
    log("pack " + entry.name + " attempt " + std::to_string(transfers.next) + "/" + std::to_string(transfer_limit()) +
        " failed: " + what + " (offset " + std::to_string(offset) + ", on disk " + std::to_string(on_disk) + "/" +
        std::to_string(entry.size) + ")");
}

bool PackCache::another_transfer(Transfers& transfers) {
    const std::string& name = pack_index.packs[transfers.pack].name;
    if (transfers.next == transfer_limit()) {
        return false;
    }
    if (!store.await_store("pack " + name, transfers.step, transfers.waited_ms)) {
        log("pack " + name + " giving up: " + std::to_string(transfers.waited_ms / 1000) + " s waited, " +
            std::to_string(transfers.next) + " transfer(s)");
        return false;
    }
    ++transfers.next;
    return true;
}

void PackCache::complete(std::uint32_t pack, const fs::path& final_path, std::uint64_t size, std::uint64_t offset) {
    ++stats.packs_downloaded;
    stats.bytes_downloaded += size - offset;
    accept(pack, final_path, size);
}

std::optional<fs::path> PackCache::transfer(Transfers& transfers, std::optional<PendingCheck>* deferred) {
    const PackEntry& entry = pack_index.packs[transfers.pack];
    const std::string& name = entry.name;
    const std::string store_path = "v1/packs/" + name;
    const bool resume = fetcher.supports_resume();
    const fs::path final_path = cache_dir / fs::u8path(name);
    const fs::path part = cache_dir / kCurrentPart;
    const fs::path owner = cache_dir / kCurrentOwner;
    const std::string owner_text = name + " " + entry.sha256;

    while (true) {
        if (cancelled()) {
            throw std::runtime_error("cancelled");
        }
        std::uint64_t offset = 0;
        bool transferred = false;
        bool cut_short = false;
        try {
            const std::optional<std::uint64_t> partial = regular_file_size(part);
            if (resume && partial && *partial < entry.size && owner_matches(owner, owner_text)) {
                offset = *partial;
            } else {
                remove_quietly(part);
                remove_quietly(owner);
                if (!write_owner(owner, owner_text)) {
                    throw LocalWriteError("cannot write " + path_text(owner));
                }
            }
            // The signed size bounds the body: a source that sends more cannot fill the disk.
            if (resume) {
                fetcher.download_from(store_path, path_text(part), offset, entry.size);
            } else {
                fetcher.download(store_path, path_text(part), entry.size);
            }
            transferred = true;
            const std::uint64_t size = regular_file_size(part).value_or(0);
            if (size != entry.size) {
                cut_short = size < entry.size;
                throw std::runtime_error("pack size mismatch (" + std::to_string(size) +
                                         " != " + std::to_string(entry.size) + ")");
            }
            // No flush to disk here, unlike installed files: a pack under its name is checked against its
            // SHA-256 before every use, in this run and the next, so one cut short by a power loss is simply
            // downloaded again, while a flush would force a whole pack onto the disk during the transfer.
            if (deferred != nullptr) {
                // Checked while the next pack downloads. A crash before the check leaves an unchecked file
                // under the final name, which the next run checks before using it. It also starts for the
                // disk, which the pack phase leaves idle: the file phase's flushes, which commit the whole
                // file system at once on Linux, would otherwise have to write it.
                fs::rename(part, final_path);
                remove_quietly(owner);
                deferred->emplace(
                    PendingCheck{transfers, final_path, size, offset, std::async(std::launch::async, [final_path] {
                                     start_writing_to_disk(final_path);
                                     return sha256_hex_file(final_path);
                                 })});
                return std::nullopt;
            }
            if (sha256_hex_file(part) != entry.sha256) {
                throw std::runtime_error("pack sha mismatch");
            }
            fs::rename(part, final_path);
            remove_quietly(owner);
            complete(transfers.pack, final_path, size, offset);
            return final_path;
        } catch (const LocalWriteError& e) {
            log("pack " + name + " local write failed, stopping: " + e.what());
            throw;
        } catch (const std::exception& e) {
            log_failed_transfer(transfers, e.what(), offset, regular_file_size(part).value_or(0));
            // A transfer whose body ended early (a dropped connection ends the body silently) left a good
            // prefix to resume from; one that delivered too much or wrong bytes did not.
            if ((transferred && !cut_short) || !resume) {
                remove_quietly(part);
                remove_quietly(owner);
            }
            if (!another_transfer(transfers)) {
                break;
            }
        }
    }
    demote(transfers);
    return std::nullopt;
}

std::optional<fs::path> PackCache::settle(PendingCheck& check) {
    const PackEntry& entry = pack_index.packs[check.transfers.pack];
    std::string failure = "pack sha mismatch";
    try {
        if (check.sha256.get() == entry.sha256) {
            complete(check.transfers.pack, check.final_path, check.size, check.offset);
            return check.final_path;
        }
    } catch (const std::exception& e) {
        failure = e.what();
    }
    log_failed_transfer(check.transfers, failure, check.offset, check.size);
    remove_quietly(check.final_path);
    if (!another_transfer(check.transfers)) {
        demote(check.transfers);
        return std::nullopt;
    }
    return transfer(check.transfers, nullptr);
}

void PackCache::demote(const Transfers& transfers) {
    const PackEntry& entry = pack_index.packs[transfers.pack];
    if (cancelled()) {
        throw std::runtime_error("cancelled");
    }
    log("pack " + entry.name + " demoted to per-chunk (" + std::to_string(transfer_limit()) + " transfers max, " +
        std::to_string(transfers.waited_ms / 1000) + " s waited)");
    // The progress survives for the second chance or the next run.
    const fs::path part = cache_dir / kCurrentPart;
    const fs::path owner = cache_dir / kCurrentOwner;
    std::error_code ec;
    if (fetcher.supports_resume() && regular_file_size(part) && owner_matches(owner, entry.name + " " + entry.sha256)) {
        fs::rename(part, cache_dir / fs::u8path(parked_name(entry)), ec);
        remove_quietly(owner);
    } else {
        remove_quietly(part);
        remove_quietly(owner);
    }
    demoted.insert(transfers.pack);
}

void PackCache::download_all(const std::vector<std::uint32_t>& packs,
                             const std::function<void(std::size_t)>& settled) {
    std::optional<PendingCheck> pending;
    std::size_t pending_index = 0;
    const auto settle_pending = [&] {
        if (pending) {
            settle(*pending);
            pending.reset();
            settled(pending_index);
        }
    };
    for (std::size_t i = 0; i < packs.size(); ++i) {
        if (cancelled()) {
            throw std::runtime_error("cancelled");
        }
        const std::uint32_t pack = packs[i];
        if (pending && pack < pack_index.packs.size() &&
            pack_index.packs[pack].name == pack_index.packs[pending->transfers.pack].name) {
            settle_pending(); // the same file name: never download over a file still being checked
        }
        std::optional<PendingCheck> started;
        obtain(pack, &started);
        settle_pending();
        if (started) {
            pending = std::move(started);
            pending_index = i;
        } else {
            settled(i);
        }
    }
    settle_pending();
}

std::optional<fs::path> PackCache::pack_for_chunk(std::uint32_t pack) {
    if (demoted.count(pack) != 0 && config.pack_second_chance && ready.count(pack) == 0 &&
        second_chance_given.insert(pack).second) {
        demoted.erase(pack);
        log("pack " + pack_index.packs[pack].name + " second chance: retrying the whole pack before per-chunk");
    }
    return local_pack_path(pack);
}

void PackCache::evict(std::uint32_t pack) {
    ready.erase(pack);
    if (pack >= pack_index.packs.size()) {
        return;
    }
    const PackEntry& entry = pack_index.packs[pack];
    if (is_usable_entry(entry)) {
        remove_quietly(cache_dir / fs::u8path(entry.name));
    }
}

} // namespace gu::patch
