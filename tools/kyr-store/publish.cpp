#include "tools/kyr-store/publish.hpp"

#include "tools/kyr-store/chunk_pipeline.hpp"
#include "tools/kyr-store/documents.hpp"
#include "tools/kyr-store/game_folder.hpp"
#include "tools/kyr-store/packs.hpp"
#include "tools/kyr-store/signing_key.hpp"
#include "tools/kyr-store/staged_file.hpp"
#include "tools/kyr-store/store_files.hpp"

#include "patch/errors.hpp"
#include "patch/store_documents.hpp"

#include <algorithm>
#include <ctime>
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

// The channel decides which product and platform its clients run; a publish must not repoint it, or every
// client of the other platform would stop updating on a platform mismatch.
void check_current_channel(const fs::path& store, const PublishOptions& options, const SigningKey& key,
                           const std::function<void(const std::string&)>& notice) {
    const fs::path path = store / channel_store_path(options.channel);
    const std::optional<std::string> text = read_existing(path);
    if (!text) {
        return;
    }
    gu::patch::Channel current;
    try {
        current = gu::patch::parse_channel(*text);
    } catch (const gu::patch::ManifestError& e) {
        notice("the current channel document is unreadable (" + std::string(e.what()) + "); it will be replaced");
        return;
    }
    if (current.product != options.product || current.platform != options.platform) {
        throw std::runtime_error("channel " + in_quotes(options.channel) + " belongs to product " +
                                 in_quotes(current.product) + ", platform " + in_quotes(current.platform) +
                                 "; it cannot carry product " + in_quotes(options.product) + ", platform " +
                                 in_quotes(options.platform));
    }
    const std::optional<std::string> signature = read_existing(fs::path(path) += ".sig");
    if (!signature || !signature_matches(*signature, *text, key)) {
        notice("the current channel was not signed with this key: clients that trust the previous key will refuse "
               "version " +
               in_quotes(options.version));
    }
}

// Whatever the store holds must also pass the engine's own checks, so they run before anything is written.
void check_like_the_engine(const std::string& manifest, const std::string& pack_index, const std::string& channel,
                           const PublishOptions& options, const std::vector<PackedChunk>& chunks) {
    try {
        gu::patch::validate_manifest(gu::patch::parse_manifest(manifest), options.product, options.platform);
        const gu::patch::PackIndex index = gu::patch::parse_pack_index(pack_index);
        for (const PackedChunk& chunk : chunks) {
            const auto found = index.chunks.find(chunk.h);
            if (found == index.chunks.end() || found->second.length != chunk.z) {
                throw gu::patch::ManifestError("pack index: chunk " + in_quotes(chunk.h) + " is not packed");
            }
        }
        gu::patch::parse_channel(channel);
    } catch (const gu::patch::ManifestError& e) {
        throw std::runtime_error(std::string("internal error, the engine would refuse this store: ") + e.what());
    }
}

std::string utc_now() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
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
    check_current_channel(store, options, key, notice);

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
    const std::optional<std::string> published = read_existing(manifest_target);
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
    channel.updated_at = utc_now();
    const std::string channel_text = channel_json(channel);
    check_like_the_engine(manifest_text, index_text, channel_text, options, chunks);

    step("signing and writing the documents");
    flush_file_system();
    write_signed(store, summary.pack_index_path, index_text, key);
    write_signed(store, summary.manifest_path, manifest_text, key);
    write_signed(store, summary.channel_path, channel_text, key);

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
    summary.duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return summary;
}

} // namespace kyrstore
