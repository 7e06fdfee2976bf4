#include "tools/kyr-store/publish.hpp"

#include "tools/kyr-store/chunk_pipeline.hpp"
#include "tools/kyr-store/documents.hpp"
#include "tools/kyr-store/game_folder.hpp"
#include "tools/kyr-store/packs.hpp"
#include "tools/kyr-store/signing_key.hpp"
#include "tools/kyr-store/staged_file.hpp"
#include "tools/kyr-store/store_contents.hpp"
#include "tools/kyr-store/store_files.hpp"
#include "tools/kyr-store/store_lock.hpp"

#include "patch/errors.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"
#include "patch/utc_time.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <thread>

#include <zstd.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

std::string in_quotes(const std::string& text) {
    return "\"" + text + "\"";
}

struct CurrentChannel {
    gu::patch::Channel channel;
    bool signed_with_key = false;
};

// The channel that the store holds, or nullopt when there is none. One that cannot be read stops the
// publisher: its serial is unknown, and installations refuse a channel whose serial is lower than theirs.
std::optional<CurrentChannel> read_current_channel(const fs::path& store, const std::string& name,
                                                   const SigningKey& key) {
    const fs::path path = store / channel_store_path(name);
    const std::optional<std::string> text = read_store_file(path);
    if (!text) {
        return std::nullopt;
    }
    CurrentChannel current;
    try {
        current.channel = gu::patch::parse_channel(*text);
    } catch (const gu::patch::ManifestError& e) {
        throw std::runtime_error("the current channel document " + path.u8string() + " is unreadable (" + e.what() +
                                 "): its serial is unknown, and installations refuse a lower one; put back a good "
                                 "copy (from a mirror or a backup) first");
    }
    const std::optional<std::string> signature = read_store_file(fs::path(path) += ".sig");
    current.signed_with_key = signature && gu::patch::signature_holds(*text, *signature, key.public_key_base64());
    return current;
}

// The channel decides which product and platform its clients run; a publish must not repoint it, or every
// client of the other platform would stop updating on a platform mismatch.
void check_current_channel(const std::optional<CurrentChannel>& current, const PublishOptions& options,
                           const std::function<void(const std::string&)>& notice) {
    if (!current) {
        return;
    }
    const gu::patch::Channel& channel = current->channel;
    if (channel.product != options.product || channel.platform != options.platform) {
        throw std::runtime_error("channel " + in_quotes(options.channel) + " belongs to product " +
                                 in_quotes(channel.product) + ", platform " + in_quotes(channel.platform) +
                                 "; it cannot carry product " + in_quotes(options.product) + ", platform " +
                                 in_quotes(options.platform));
    }
    if (!current->signed_with_key) {
        notice("the current channel was not signed with this key: clients that trust the previous key will refuse "
               "version " +
               in_quotes(options.version));
    }
}

// `channel` as it replaces the current one: its serial one higher (1 for the first), never lower, also when
// it points back at an older version; updated now, expiring `expires_days` from now when given.
gu::patch::Channel next_channel(gu::patch::Channel channel, const std::optional<CurrentChannel>& current,
                                std::optional<std::uint64_t> expires_days) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    const std::int64_t now = gu::patch::utc_now_seconds();
    channel.serial = (current && current->channel.serial ? *current->channel.serial : 0) + 1;
    channel.updated_at = gu::patch::utc_time_text(now);
    channel.expires.reset();
    if (expires_days) {
        channel.expires = now + static_cast<std::int64_t>(*expires_days) * kSecondsPerDay;
    }
    return channel;
}

// A failed check is the publisher's own fault: the engine would refuse what it was about to write.
void check_as_the_engine(const std::function<void()>& checks) {
    try {
        checks();
    } catch (const gu::patch::ManifestError& e) {
        throw std::runtime_error(std::string("internal error, the engine would refuse this store: ") + e.what());
    }
}

// Whatever the store holds must also pass the engine's own checks, so they run before anything is written.
void check_like_the_engine(const std::string& manifest, const std::string& pack_index, const std::string& channel,
                           const PublishOptions& options, const std::vector<PackedChunk>& chunks) {
    check_as_the_engine([&] {
        gu::patch::validate_manifest(gu::patch::parse_manifest(manifest), options.product, options.platform);
        const gu::patch::PackIndex index = gu::patch::parse_pack_index(pack_index);
        for (const PackedChunk& chunk : chunks) {
            const auto found = index.chunks.find(chunk.h);
            if (found == index.chunks.end() || found->second.length != chunk.z) {
                throw gu::patch::ManifestError("pack index: chunk " + in_quotes(chunk.h) + " is not packed");
            }
        }
        gu::patch::parse_channel(channel);
    });
}

// A store inside the game folder would publish itself.
void check_folders(const PublishOptions& options) {
    const fs::path game = fs::weakly_canonical(options.game_dir);
    const fs::path store = fs::weakly_canonical(options.store_dir);
    const auto mismatch = std::mismatch(game.begin(), game.end(), store.begin(), store.end());
    if (mismatch.first == game.end()) {
        throw std::runtime_error("the store folder " + options.store_dir.u8string() + " lies inside the game folder " +
                                 options.game_dir.u8string());
    }
}

} // namespace

std::string manifest_store_path(const std::string& platform, const std::string& version, bool flat) {
    return flat ? "v1/manifests/" + version + ".json" : "v1/manifests/" + platform + "/" + version + ".json";
}

std::string channel_store_path(const std::string& channel) {
    return "v1/channels/" + channel + ".json";
}

std::string pack_index_store_path(const std::string& channel) {
    return "v1/packs/index-" + channel + ".json";
}

std::string option_problem(const PublishOptions& options) {
    const std::pair<const char*, const std::string*> names[] = {{"product", &options.product},
                                                                {"channel", &options.channel},
                                                                {"platform", &options.platform},
                                                                {"version", &options.version}};
    for (const auto& [label, value] : names) {
        const std::string reason = unsafe_name_reason(*value);
        if (!reason.empty()) {
            return std::string("invalid ") + label + " " + in_quotes(*value) + ": " + reason;
        }
    }
    for (const std::string& pattern : options.preserve) {
        const std::string reason = unusable_preserve_reason(pattern);
        if (!reason.empty()) {
            return "invalid --preserve " + in_quotes(pattern) + ": " + reason;
        }
    }
    if (options.pack_size < kMinPackSize || options.pack_size > kMaxPackSize) {
        return "--pack-size must be between " + std::to_string(kMinPackSize) + " and " + std::to_string(kMaxPackSize) +
               " bytes";
    }
    if (options.level < 1 || options.level > ZSTD_maxCLevel()) {
        return "--level must be between 1 and " + std::to_string(ZSTD_maxCLevel());
    }
    if (options.threads > kMaxThreads) {
        return "--threads must be at most " + std::to_string(kMaxThreads);
    }
    return expires_problem(options.expires_days);
}

std::string expires_problem(std::optional<std::uint64_t> expires_days) {
    if (expires_days && (*expires_days == 0 || *expires_days > kMaxExpiresDays)) {
        return "--expires must be between 1 and " + std::to_string(kMaxExpiresDays) + " days";
    }
    return {};
}

PublishSummary publish(const PublishOptions& options, const PublishObserver& observer) {
    const auto started = std::chrono::steady_clock::now();
    const auto notice = [&](const std::string& text) {
        if (observer.notice) {
            observer.notice(text);
        }
    };
    const auto step = [&](const std::string& text) {
        if (observer.step) {
            observer.step(text);
        }
    };
    const std::string problem = option_problem(options);
    if (!problem.empty()) {
        throw std::runtime_error(problem);
    }
    const SigningKey key = SigningKey::load(options.key_file, notice);
    PublishSummary summary;
    summary.public_key = key.public_key_base64();
    summary.manifest_path = manifest_store_path(options.platform, options.version, options.flat_manifest);
    summary.channel_path = channel_store_path(options.channel);
    summary.pack_index_path = pack_index_store_path(options.channel);

    const fs::path& store = options.store_dir;
    check_folders(options);
    fs::create_directories(store);
    const StoreLock lock(store);
    const std::optional<CurrentChannel> current = read_current_channel(store, options.channel, key);
    check_current_channel(current, options, notice);

    step("scanning " + options.game_dir.u8string());
    const std::vector<GameFile> files = scan_game_folder(options.game_dir, notice);
    if (files.empty()) {
        throw std::runtime_error("no files to publish in " + options.game_dir.u8string());
    }
    for (const GameFile& file : files) {
        summary.bytes += file.size;
    }
    summary.files = files.size();

    ChunkingOptions chunking;
    chunking.store = store;
    chunking.level = options.level;
    chunking.threads = options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
    chunking.progress = observer.progress;
    step("chunking " + std::to_string(files.size()) + " files (" + std::to_string(summary.bytes) + " bytes), " +
         std::to_string(chunking.threads) + " threads, zstd level " + std::to_string(options.level));
    ChunkingStats stats;
    gu::patch::Manifest manifest;
    manifest.schema = 1;
    manifest.product = options.product;
    manifest.channel = options.channel;
    manifest.version = options.version;
    manifest.platform = options.platform;
    manifest.total_size = summary.bytes;
    manifest.preserve = options.preserve;
    manifest.files = chunk_game_files(files, chunking, stats);
    const std::string manifest_text = manifest_json(manifest);

    // A version names one content for good: clients that installed it keep its name in their state.
    const fs::path manifest_target = store / summary.manifest_path;
    const std::optional<std::string> published = read_store_file(manifest_target);
    if (published && *published != manifest_text) {
        throw std::runtime_error("version " + in_quotes(options.version) +
                                 " is already published with other content (" + summary.manifest_path +
                                 "); publish under a new version");
    }

    step("packing");
    const std::vector<PackedChunk> chunks = chunks_in_first_use_order(manifest.files);
    const PackSet packs = write_packs(store, chunks, options.pack_size);
    const std::string index_text = pack_index_json(options.channel, options.version, packs);

    gu::patch::Channel channel;
    channel.product = options.product;
    channel.channel = options.channel;
    channel.platform = options.platform;
    channel.latest = options.version;
    channel = next_channel(channel, current, options.expires_days);
    const std::string channel_text = channel_json(channel);
    check_like_the_engine(manifest_text, index_text, channel_text, options, chunks);

    step("signing and writing the documents");
    flush_file_system();
    write_signed(store, summary.pack_index_path, index_text, key);
    write_signed(store, summary.manifest_path, manifest_text, key);
    write_signed(store, summary.channel_path, channel_text, key);
    record_publish(store, options.channel, summary.manifest_path);

    summary.chunk_uses = stats.chunk_uses;
    summary.chunks = stats.distinct;
    summary.chunks_written = stats.written + stats.repaired;
    summary.chunks_reused = stats.reused;
    summary.chunks_repaired = stats.repaired;
    summary.compressed_bytes = stats.stored_bytes;
    summary.written_bytes = stats.written_bytes;
    summary.packs = packs.packs.size();
    summary.packs_written = packs.written;
    summary.pack_bytes = packs.total_bytes;
    summary.serial = *channel.serial;
    summary.expires = channel.expires ? gu::patch::utc_time_text(*channel.expires) : "";
    summary.duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return summary;
}

std::string resign_problem(const ResignOptions& options) {
    const std::string reason = unsafe_name_reason(options.channel);
    if (!reason.empty()) {
        return "invalid channel " + in_quotes(options.channel) + ": " + reason;
    }
    return expires_problem(options.expires_days);
}

ResignSummary resign(const ResignOptions& options, const std::function<void(const std::string&)>& notice) {
    const std::string problem = resign_problem(options);
    if (!problem.empty()) {
        throw std::runtime_error(problem);
    }
    const SigningKey key = SigningKey::load(options.key_file, notice);
    const fs::path& store = options.store_dir;
    if (!fs::is_directory(store)) {
        throw std::runtime_error("no store folder at " + store.u8string());
    }
    const StoreLock lock(store);
    const std::optional<CurrentChannel> current = read_current_channel(store, options.channel, key);
    if (!current) {
        throw std::runtime_error("channel " + in_quotes(options.channel) + " has never been published in " +
                                 store.u8string());
    }
    // Whoever could write the store folder could have changed the document: only what this key signed
    // is signed again. A new key comes with a publish, which signs the manifest too.
    if (!current->signed_with_key) {
        throw std::runtime_error("the current channel " + in_quotes(options.channel) +
                                 " is not signed with this key; re-sign it with its own key, or publish a version");
    }
    const gu::patch::Channel channel = next_channel(current->channel, current, options.expires_days);
    const std::string text = channel_json(channel);
    check_as_the_engine([&] { gu::patch::parse_channel(text); });
    ResignSummary summary;
    summary.channel_path = channel_store_path(options.channel);
    write_signed(store, summary.channel_path, text, key);
    summary.latest = channel.latest;
    summary.serial = *channel.serial;
    summary.expires = channel.expires ? gu::patch::utc_time_text(*channel.expires) : "";
    return summary;
}

} // namespace kyrstore
