#include "patch/downloader.hpp"

#include "patch/atomic_file.hpp"
#include "patch/chunk_fetch.hpp"
#include "patch/document_fetch.hpp"
#include "patch/dropped_files.hpp"
#include "patch/durable_file.hpp"
#include "patch/engine_file.hpp"
#include "patch/errors.hpp"
#include "patch/file_assembly.hpp"
#include "patch/file_writer.hpp"
#include "patch/folder_cleanup.hpp"
#include "patch/link_test.hpp"
#include "patch/local_path.hpp"
#include "patch/pack_stream.hpp"
#include "patch/patch_state.hpp"
#include "patch/path_obstacles.hpp"
#include "patch/path_rules.hpp"
#include "patch/prefetch_pool.hpp"
#include "patch/previous_version.hpp"
#include "patch/retired_files.hpp"
#include "patch/running_file.hpp"
#include "patch/sha256.hpp"
#include "patch/side_task.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"
#include "patch/store_retry.hpp"
#include "patch/trust_anchor.hpp"
#include "patch/update_plan.hpp"
#include "patch/utc_time.hpp"

#include <algorithm>
#include <chrono>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMinimumSpaceWanted = 67108864;
// Assembled bytes waiting for the writer threads: enough to ride out a run of small files and to keep
// both writers busy, and all that the file phase holds of the files themselves, whatever their size.
constexpr std::uint64_t kWriterBudgetBytes = 12 * 1024 * 1024;
constexpr unsigned kWriterThreads = 2;
constexpr const char* kLocalWriteMarkers[] = {"failed writing", "failed to install", "transactional commit",
                                              "local write failed", "write failed"};

bool is_local_write_failure(const std::exception& e) {
    if (dynamic_cast<const LocalWriteError*>(&e) != nullptr) {
        return true;
    }
    const std::string message = e.what();
    return std::any_of(std::begin(kLocalWriteMarkers), std::end(kLocalWriteMarkers),
                       [&](const char* marker) { return message.find(marker) != std::string::npos; });
}

void remove_quietly(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void remove_tree_quietly(const fs::path& path) {
    remove_tree_no_follow(path);
}

// Which packs are worth streaming, in the order of their first use.
struct PackPlan {
    std::vector<std::uint32_t> needed;
    std::uint64_t bytes_total = 0; // sum of the needed packs' sizes
};

class UpdateRun {
public:
    UpdateRun(Fetcher& fetcher, const DownloaderConfig& config, const ProgressCallback& progress,
              const PhaseCallback& phase, RunResult& result, TransferGate& gate)
        : fetcher_(fetcher), config_(config), progress_(progress), phase_(phase), result_(result), gate_(gate),
          root_(fs::u8path(config.root_dir)), stage_(root_ / ".updstage"), packs_dir_(root_ / ".updpacks"),
          anchor_dir_(fs::u8path(config.anchor_dir)), retired_(config.start_thread) {}

    void execute();
    void clean_up_after_failure(const std::exception& e);

private:
    void log(const std::string& line) const {
        if (config_.log) {
            config_.log(line);
        }
    }
    void report(unsigned done, unsigned total, std::uint64_t done_bytes, std::uint64_t total_bytes) const {
        if (progress_) {
            progress_(done, total, result_.chunks_obtained, done_bytes, total_bytes);
        }
    }
    void enter_phase(int phase) const {
        if (phase_) {
            phase_(phase);
        }
    }
    void stop_if_cancelled() const {
        if (config_.cancel && config_.cancel()) {
            throw std::runtime_error("cancelled");
        }
    }

    void check_configuration() const;
    Channel fetch_channel();
    Manifest fetch_manifest(const Channel& channel);
    void record_verified_files(const UpdatePlan& plan);
    // Before the run replaces a file at its name, the saved patch state stops naming its old bytes.
    void forget_files_to_replace(const UpdatePlan& plan);
    // A file at its name in the patch state, saved with the others once record_installed_every_ms passed.
    void record_installed(const ManifestFile& file);
    // The saved patch state names the files this run installed at their names: after a failure, and
    // along the way of a long run.
    void keep_installed_files();
    void save_transitional_anchor(const Manifest& manifest);
    bool packs_wanted_for_certain(const UpdatePlan& plan) const;
    // Nothing when the store has none or it cannot be had: every chunk then comes from its own object.
    std::optional<PackIndex> fetch_pack_index() const;
    // With enough chunks missing, the pack index: the one downloading beside, or fetched now.
    void use_pack_index(std::optional<SideTask<std::optional<PackIndex>>>& fetch, std::size_t missing_chunks);
    PackPlan plan_packs(const UpdatePlan& plan, const std::unordered_set<std::string>& missing) const;
    // The missing chunks that none of the needed packs holds: they come as chunk objects.
    std::vector<const ManifestChunk*> chunks_outside(const PackPlan& packs,
                                                     const std::vector<const ManifestChunk*>& missing) const;
    // `objects` are the chunk objects to fetch, in the order the files first use them; the bytes to
    // download are the needed packs whole and those objects.
    void install_files(const UpdatePlan& plan, ChunkFetchContext& context, PackStream* stream,
                       PreviousVersionChunks& previous, const std::vector<const ManifestChunk*>& objects,
                       std::uint64_t download_bytes);
    bool is_running_program(const std::string& path) const;
    // Moves a finished file onto its name. Into its final place (not a staging folder), the running
    // program's file is moved in by moving the running one aside, and the folder is flushed later.
    void move_into_place(const fs::path& from, const fs::path& to, const std::string& path, bool final,
                         std::string_view failure_prefix);
    // The previous version's manifest when its signature proves it, else an empty one: only a proven
    // manifest may decide that a file is the updater's to remove.
    const Manifest& installed_version() const;
    void clear_path_obstacles(const UpdatePlan& plan);
    void commit_staged_files(const UpdatePlan& plan);
    bool is_skipped(const std::string& path) const;
    void remove_dropped_files(const Manifest& manifest);
    void finish(const Channel& channel, const Manifest& manifest, const UpdatePlan& plan);

    Fetcher& fetcher_;
    const DownloaderConfig& config_;
    const ProgressCallback& progress_;
    const PhaseCallback& phase_;
    RunResult& result_;
    TransferGate& gate_;
    const fs::path root_;
    const fs::path stage_;
    const fs::path packs_dir_;
    const fs::path anchor_dir_;

    std::chrono::steady_clock::time_point run_start_;
    std::int64_t run_started_utc_ = 0;
    std::string channel_path_;
    SignedDocument manifest_document_;
    PatchState state_;
    PreviousManifest previous_; // of the last successful run
    bool previous_is_served_ = false;
    Manifest no_manifest_;
    FolderFlushes moved_into_; // folders that files were moved into or removed from
    RetiredFiles retired_;     // the files replaced, freed off the run's thread
    TrustAnchor current_anchor_;
    PackIndex pack_index_;
    bool use_packs_ = false;
    bool installed_unsaved_ = false; // files at their names that the saved patch state does not name yet
    std::chrono::steady_clock::time_point installed_saved_at_;
};

void UpdateRun::check_configuration() const {
    if (config_.product.empty() || config_.channel.empty() || config_.platform.empty() || config_.pubkey_b64.empty()) {
        throw std::runtime_error(
            "DownloaderConfig incompleto: product, channel, platform y pubkey_b64 son obligatorios");
    }
}

Channel UpdateRun::fetch_channel() {
    channel_path_ = "v1/channels/" + config_.channel + ".json";
    Channel channel = parse_channel(fetch_document(fetcher_, config_, channel_path_, config_.log, run_start_).text);
    if (channel.product != config_.product) {
        throw ManifestError("channel: product mismatch (expected \"" + config_.product + "\", got \"" +
                            channel.product + "\")");
    }
    if (channel.platform != config_.platform) {
        throw ManifestError("channel: platform mismatch (expected \"" + config_.platform + "\", got \"" +
                            channel.platform + "\")");
    }
    if (channel.latest.empty()) {
        throw ManifestError("channel: \"latest\" is empty");
    }
    check_channel_freshness(channel, state_.channel_serial(config_.product, config_.channel), run_started_utc_);
    return channel;
}

Manifest UpdateRun::fetch_manifest(const Channel& channel) {
    const std::string path = config_.flat_manifest_path
                                 ? "v1/manifests/" + channel.latest + ".json"
                                 : "v1/manifests/" + config_.platform + "/" + channel.latest + ".json";
    manifest_document_ = fetch_document(fetcher_, config_, path, config_.log, run_start_);
    Manifest manifest = parse_manifest(manifest_document_.text);
    validate_manifest(manifest, config_.product, config_.platform);
    return manifest;
}

void UpdateRun::record_verified_files(const UpdatePlan& plan) {
    for (const auto& [path, sha] : plan.to_record) {
        state_.files[path] = sha;
    }
    if (plan.to_record.empty()) {
        return;
    }
    try {
        state_.save(root_);
    } catch (const std::exception& e) {
        log(std::string("patchstate parcial no se pudo guardar: ") + e.what());
    }
}

void UpdateRun::save_transitional_anchor(const Manifest& manifest) {
    if (anchor_dir_.empty()) {
        return;
    }
    const TrustAnchor target = anchor_from_manifest(manifest);
    if (target.files.empty() || current_anchor_.files.empty()) {
        return;
    }
    try {
        merge_anchors(current_anchor_, target).save(anchor_dir_);
    } catch (const std::exception& e) {
        log(std::string("trust anchor transitional save failed: ") + e.what());
    }
}

// The chunks of the files to fetch that the installed version's manifest does not list are missing
// whatever its files hold. When they alone reach the threshold, the pack index is wanted for certain and
// may download while the installed chunks are mapped; otherwise only the exact count decides.
bool UpdateRun::packs_wanted_for_certain(const UpdatePlan& plan) const {
    if (config_.pack_min_chunks == 0 || plan.to_fetch.empty()) {
        return false;
    }
    std::unordered_set<std::string_view> listed;
    for (const ManifestFile& file : previous_.manifest.files) {
        for (const ManifestChunk& chunk : file.chunks) {
            listed.insert(chunk.h);
        }
    }
    std::unordered_set<std::string_view> unlisted;
    for (const ManifestFile& file : plan.to_fetch) {
        for (const ManifestChunk& chunk : file.chunks) {
            if (listed.count(chunk.h) == 0 && unlisted.insert(chunk.h).second &&
                unlisted.size() >= config_.pack_min_chunks) {
                return true;
            }
        }
    }
    return false;
}

std::optional<PackIndex> UpdateRun::fetch_pack_index() const {
    try {
        return parse_pack_index(
            get_signed(fetcher_, "v1/packs/index-" + config_.channel + ".json", config_.pubkey_b64));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void UpdateRun::use_pack_index(std::optional<SideTask<std::optional<PackIndex>>>& fetch, std::size_t missing_chunks) {
    if (config_.pack_min_chunks == 0 || missing_chunks < config_.pack_min_chunks) {
        return;
    }
    std::optional<PackIndex> index = fetch ? fetch->get() : fetch_pack_index();
    if (index) {
        pack_index_ = std::move(*index);
        use_packs_ = true;
        result_.used_pack_index = true;
    }
}

// A pack is worth its transfer only while most of its bytes are chunks that are missing here; otherwise
// (an incremental update whose other chunks are already on disk) its missing chunks come one by one.
constexpr std::uint64_t kPackUsefulShareDivisor = 2;

PackPlan UpdateRun::plan_packs(const UpdatePlan& plan, const std::unordered_set<std::string>& missing) const {
    PackPlan packs;
    if (!use_packs_) {
        return packs;
    }
    std::vector<std::uint32_t> first_use;
    std::map<std::uint32_t, std::uint64_t> missing_bytes;
    std::unordered_set<std::string> counted;
    for (const ManifestFile& file : plan.to_fetch) {
        for (const ManifestChunk& chunk : file.chunks) {
            const auto found = pack_index_.chunks.find(chunk.h);
            if (found == pack_index_.chunks.end()) {
                continue;
            }
            const std::uint32_t pack = found->second.pack;
            if (missing_bytes.count(pack) == 0) {
                first_use.push_back(pack);
                missing_bytes[pack] = 0;
            }
            if (missing.count(chunk.h) != 0 && pack_location(pack_index_, chunk) != nullptr &&
                counted.insert(chunk.h).second) {
                missing_bytes[pack] += chunk.z;
            }
        }
    }
    for (const std::uint32_t pack : first_use) {
        const std::uint64_t size = pack_index_.packs[pack].size;
        if (missing_bytes[pack] * kPackUsefulShareDivisor >= size) {
            packs.needed.push_back(pack);
            packs.bytes_total += size;
        }
    }
    return packs;
}

std::vector<const ManifestChunk*> UpdateRun::chunks_outside(const PackPlan& packs,
                                                            const std::vector<const ManifestChunk*>& missing) const {
    const std::unordered_set<std::uint32_t> streamed(packs.needed.begin(), packs.needed.end());
    std::vector<const ManifestChunk*> outside;
    for (const ManifestChunk* chunk : missing) {
        const ChunkLocation* location = pack_location(pack_index_, *chunk);
        if (location == nullptr || streamed.count(location->pack) == 0) {
            outside.push_back(chunk);
        }
    }
    return outside;
}

void UpdateRun::install_files(const UpdatePlan& plan, ChunkFetchContext& context, PackStream* stream,
                              PreviousVersionChunks& previous, const std::vector<const ManifestChunk*>& objects,
                              std::uint64_t download_bytes) {
    const auto files_total = static_cast<unsigned>(plan.to_fetch.size());
    unsigned files_done = 0;
    // Pack bytes count as they arrive, chunk objects as they are taken; what is shown only grows.
    std::uint64_t shown = 0;
    const auto report_files = [&] {
        const std::uint64_t arrived = result_.bytes_downloaded + (stream != nullptr ? stream->bytes_arrived() : 0);
        shown = std::max(shown, std::min(arrived, download_bytes));
        report(files_done, files_total, shown, download_bytes);
    };
    // The packs' bytes, and the packs that arrived whole and sound, count however the phase ends.
    struct CountStream {
        PackStream* stream;
        RunResult& result;
        ~CountStream() {
            if (stream != nullptr) {
                stream->forward_log();
                result.bytes_downloaded += stream->bytes_arrived();
                result.packs_downloaded += stream->packs_completed();
            }
        }
    } count_stream{stream, result_};
    bool installing = false; // every pack arrived: what is left is writing files
    const auto enter_installing = [&] {
        if (stream != nullptr && !installing && stream->settled()) {
            installing = true;
            enter_phase(2);
        }
    };

    const fs::path& install_root = context.game_dir;
    FileWriter writer(kWriterBudgetBytes, kWriterThreads, config_.start_thread);
    PartChunks parts(writer, context.files);
    context.held = &parts;
    PrefetchPool prefetch_pool(objects, context.retry_fetch, config_.prefetch_workers, config_.start_thread);
    prefetch_pool.start(config_.log);
    context.prefetch = &prefetch_pool;
    std::unordered_map<std::uint64_t, AssembledFile> assembled_files; // by the writer's file number
    const auto assemble = [&](const ManifestFile& file, ChunkCheck chunk_check) {
        const fs::path part = with_suffix(local_path(install_root, file.path), ".updpart");
        if (config_.transactional) {
            make_engine_folder(stage_); // a link planted in its place goes, never written through
        }
        fs::create_directories(part.parent_path());
        AssembledFile assembled = assemble_file(file, part, context, writer, parts,
                                                [&](std::uint64_t) { report_files(); }, chunk_check);
        assembled_files[assembled.number] = std::move(assembled);
    };
    const auto install_part = [&](const FinishedFile& done) {
        if (!config_.transactional) {
            // Its old bytes are replaced now, not before: a file that fails its hash is assembled again
            // from them. No later file may read them any more.
            for (const std::string& old_name : previous.forget_file(done.file->path)) {
                context.files.release(local_path(context.previous_dir, old_name));
            }
        }
        move_into_place(done.part, local_path(install_root, done.file->path), done.file->path,
                        !config_.transactional, "failed to install ");
        if (!config_.transactional) {
            record_installed(*done.file);
        }
        ++result_.files_written;
    };
    // A file whose part is complete is moved onto its name when its hash matches. Later files may then
    // read its chunks there.
    auto complete = [&](std::vector<FinishedFile> finished) {
        for (FinishedFile& done : finished) {
            const ManifestFile& file = *done.file;
            parts.forget(file, done.number, done.part);
            const AssembledFile assembled = std::move(assembled_files[done.number]);
            assembled_files.erase(done.number);
            if (done.actual_sha256 != file.sha256) {
                remove_quietly(done.part);
                if (!assembled.rests_on_file_hash) {
                    throw VerifyError("file \"" + file.path + "\": assembled sha256 mismatch (expected \"" +
                                      file.sha256 + "\", got \"" + done.actual_sha256 + "\")");
                }
                log("file \"" + file.path +
                    "\": downloaded bytes or those of the installed version differ; assembling it again chunk by "
                    "chunk");
                assemble(file, ChunkCheck::checked_alone);
                continue;
            }
            install_part(done);
            for (const std::string& hash : assembled.unchecked_chunks) {
                count_downloaded_chunk(context, hash);
            }
            std::uint64_t offset = 0;
            for (const ManifestChunk& chunk : file.chunks) {
                context.local_chunks.emplace(chunk.h, LocalChunkRef{file.path, offset, chunk.n});
                offset += chunk.n;
            }
            ++files_done;
            report_files();
        }
    };

    // A run that ends while a file is assembled still installs the files before it, complete and checked
    // as they are, as if each had been installed before the next one was begun.
    const auto install_finished_before_failure = [&] {
        writer.close();
        try {
            for (const FinishedFile& done : writer.drain()) {
                parts.forget(*done.file, done.number, done.part);
                if (done.actual_sha256 == done.file->sha256) {
                    install_part(done);
                } else {
                    remove_quietly(done.part);
                }
            }
        } catch (const std::exception&) {
            // The failure that ended the run is the one to report.
        }
    };
    for (const ManifestFile& file : plan.to_fetch) {
        try {
            stop_if_cancelled();
            assemble(file, ChunkCheck::checked_with_their_file);
        } catch (const std::exception&) {
            install_finished_before_failure();
            throw;
        }
        complete(writer.take_finished());
        enter_installing();
    }
    if (stream != nullptr) {
        stream->wait_settled(); // the packs' whole checks belong to the run
        enter_installing();
    }
    // Files assembled again join the writer's queue behind the others: drain until none is left.
    for (std::vector<FinishedFile> finished = writer.drain(); !finished.empty(); finished = writer.drain()) {
        complete(std::move(finished));
    }
    context.held = nullptr;
    prefetch_pool.forward_log(config_.log); // failures of chunks that no file took in the end
    context.prefetch = nullptr;
    context.files.release_all(); // the commit moves installed files
}

bool UpdateRun::is_running_program(const std::string& path) const {
    return !config_.running_program.empty() && windows_key(path) == windows_key(config_.running_program);
}

void UpdateRun::move_into_place(const fs::path& from, const fs::path& to, const std::string& path, bool final,
                                std::string_view failure_prefix) {
    if (final && is_running_program(path)) {
        replace_running_file(from, to, failure_prefix);
        result_.running_program_replaced = true;
    } else {
        retired_.replace(to, [&] {
            replace_file(from, to, failure_prefix, [&] { forget_anchored_file(anchor_dir_, path); });
        });
    }
    if (final) {
        moved_into_.add_folders_of(to, root_);
    }
}

const Manifest& UpdateRun::installed_version() const {
    return previous_.proven ? previous_.manifest : no_manifest_;
}

void UpdateRun::clear_path_obstacles(const UpdatePlan& plan) {
    const std::vector<PathObstacle> obstacles = find_path_obstacles(root_, plan.to_fetch, installed_version());
    remove_path_obstacles(root_, obstacles, moved_into_);
    for (const PathObstacle& obstacle : obstacles) {
        log("removed \"" + obstacle.path + "\" of the installed version: the new one has another kind of entry there");
        for (const std::string& path : obstacle.installed) {
            state_.files.erase(path);
        }
    }
}

// A state saved before would name the old bytes of a file under its new ones from its move on, until the
// run's own save: after a failure or a power cut in between, a return to the installed version would take
// a replaced file of the same size for its old self. An entry under another spelling of the name goes too:
// on Windows it is the same file.
void UpdateRun::forget_files_to_replace(const UpdatePlan& plan) {
    std::unordered_set<std::string> replaced;
    for (const ManifestFile& file : plan.to_fetch) {
        replaced.insert(windows_key(file.path));
    }
    bool forgotten = false;
    for (auto entry = state_.files.begin(); entry != state_.files.end();) {
        const bool replaced_here = replaced.count(windows_key(entry->first)) != 0;
        entry = replaced_here ? state_.files.erase(entry) : std::next(entry);
        forgotten = forgotten || replaced_here;
    }
    if (forgotten) {
        state_.save(root_);
    }
}

// A run that ends early keeps its work: the next one trusts these files instead of fetching them again
// (or hashing them, on a first install). Their names reach the disk before the state that vouches for them.
// A save that fails along the way is tried again later; the run goes on either way.
void UpdateRun::keep_installed_files() {
    if (!installed_unsaved_) {
        return;
    }
    installed_saved_at_ = std::chrono::steady_clock::now();
    try {
        moved_into_.flush();
        state_.save(root_);
        installed_unsaved_ = false;
    } catch (const std::exception& e) {
        log(std::string("installed files not recorded (the next run checks them again): ") + e.what());
    }
}

void UpdateRun::record_installed(const ManifestFile& file) {
    state_.files[file.path] = file.sha256;
    installed_unsaved_ = true;
    if (std::chrono::steady_clock::now() - installed_saved_at_ >=
        std::chrono::milliseconds(config_.record_installed_every_ms)) {
        keep_installed_files();
    }
}

void UpdateRun::commit_staged_files(const UpdatePlan& plan) {
    forget_files_to_replace(plan);
    clear_path_obstacles(plan);
    for (const ManifestFile& file : plan.to_fetch) {
        const fs::path staged = local_path(stage_, file.path);
        const fs::path final_path = local_path(root_, file.path);
        fs::create_directories(final_path.parent_path());
        move_into_place(staged, final_path, file.path, true, "transactional commit: cannot install ");
        state_.files[file.path] = file.sha256;
    }
}

bool UpdateRun::is_skipped(const std::string& path) const {
    return config_.skip_apk && windows_key(path) == windows_key(config_.apk_path);
}

void UpdateRun::remove_dropped_files(const Manifest& manifest) {
    if (!config_.remove_dropped) {
        return;
    }
    if (!previous_.proven) {
        if (!previous_.manifest.files.empty()) {
            log("the saved manifest of the installed version is not proven: no dropped file is removed this time");
        }
        return;
    }
    std::vector<std::string> dropped = dropped_files(root_, previous_.manifest, manifest);
    // The program running this update stays, listed or not: it is the player's way to the next update.
    // What this run skips on this platform was never its to judge.
    dropped.erase(std::remove_if(dropped.begin(), dropped.end(),
                                 [&](const std::string& path) { return is_running_program(path) || is_skipped(path); }),
                  dropped.end());
    const std::vector<std::string> removed = gu::patch::remove_dropped_files(root_, dropped, config_.log, moved_into_);
    for (const std::string& path : removed) {
        state_.files.erase(path);
    }
    result_.files_removed = static_cast<std::uint32_t>(removed.size());
}

void UpdateRun::finish(const Channel& channel, const Manifest& manifest, const UpdatePlan& plan) {
    installed_unsaved_ = false; // saved below with the version, or not at all
    remove_tree_quietly(stage_);
    remove_dropped_files(manifest);
    // The new names, and the names gone, must be on the disk before the patch state vouches for them.
    moved_into_.flush();
    state_.version = manifest.version;
    // Only now is the channel's serial the installation's: a run that failed must not lock out the
    // channel it was replacing.
    if (channel.serial) {
        state_.channel_serials[config_.product][config_.channel] = *channel.serial;
    }
    state_.save(root_);
    try {
        if (!previous_is_served_) {
            save_previous_manifest(root_, manifest_document_);
        }
    } catch (const std::exception& e) {
        log(std::string("previous manifest not saved (the next update downloads more and removes nothing): ") + e.what());
    }
    if (!anchor_dir_.empty()) {
        const TrustAnchor target = anchor_from_manifest(manifest);
        if (!target.files.empty()) {
            try {
                target.save(anchor_dir_);
            } catch (const std::exception& e) {
                log(std::string("trust anchor finalize save failed: ") + e.what());
            }
        }
    }
    if (!config_.done_marker.empty()) {
        // Written like the state files, flushed and never through a link; a failure only costs the marker.
        const fs::path marker = local_path(root_, config_.done_marker);
        try {
            write_file_atomically(marker, with_suffix(marker, ".tmp"), manifest.version, AtomicWriteMessages{});
        } catch (const std::exception&) {
        }
    }
    result_.ok = true;
    result_.version = manifest.version;
    result_.files_installed = static_cast<std::uint32_t>(plan.to_fetch.size());
    result_.files_current = static_cast<std::uint32_t>(plan.current.size());
    result_.files_preserved = static_cast<std::uint32_t>(plan.preserved.size());

    const auto apk = std::find_if(manifest.files.begin(), manifest.files.end(),
                                  [&](const ManifestFile& file) { return file.path == config_.apk_path; });
    if (apk != manifest.files.end() && apk->sha256 != state_.apk_sha) {
        const fs::path apk_file = local_path(root_, config_.apk_path);
        std::error_code ec;
        if (fs::exists(apk_file, ec)) {
            result_.apk_ready = true;
            result_.apk_sha = apk->sha256;
            result_.apk_path = path_text(apk_file);
        }
    }
}

void UpdateRun::execute() {
    check_configuration();
    enter_phase(0);
    run_start_ = std::chrono::steady_clock::now();
    run_started_utc_ = config_.now_utc ? config_.now_utc() : utc_now_seconds();
    state_ = PatchState::load(root_);
    const Channel channel = fetch_channel();
    const auto load_saved_manifest = [this] {
        return load_previous_manifest(root_, config_.pubkey_b64, config_.product, config_.platform);
    };
    // An update reads the saved manifest of the installed version while the new one downloads. When the
    // channel names the installed version, the saved copy is most likely the served one, read no further.
    std::optional<SideTask<PreviousManifest>> saved_manifest;
    if (channel.latest != state_.version) {
        saved_manifest.emplace(config_.start_thread, load_saved_manifest);
    }
    Manifest manifest = fetch_manifest(channel);
    if (!anchor_dir_.empty()) {
        current_anchor_ = TrustAnchor::load(anchor_dir_);
    }
    if (config_.skip_apk) {
        const auto apk = std::find_if(manifest.files.begin(), manifest.files.end(),
                                      [&](const ManifestFile& file) { return file.path == config_.apk_path; });
        if (apk != manifest.files.end()) {
            manifest.files.erase(apk);
        }
    }
    const std::vector<std::string> anchored = anchor_dir_.empty() ? std::vector<std::string>{} : anchored_paths();
    const UpdatePlan plan = plan_update(
        manifest, state_, root_, [&](unsigned done, unsigned total) { report(done, total, 0, 0); }, anchored);
    record_verified_files(plan);
    save_transitional_anchor(manifest);

    remove_tree_quietly(stage_);
    const fs::path install_root = config_.transactional ? stage_ : root_;
    // The served manifest was checked already; one saved by the run before that is its very copy says
    // nothing more.
    previous_is_served_ = previous_manifest_is(root_, manifest_document_);
    if (previous_is_served_) {
        previous_ = PreviousManifest{manifest, true};
    } else {
        previous_ = saved_manifest ? saved_manifest->get() : load_saved_manifest();
    }
    std::optional<SideTask<std::optional<PackIndex>>> pack_index_fetch;
    if (packs_wanted_for_certain(plan)) {
        pack_index_fetch.emplace(config_.start_thread, [this] { return fetch_pack_index(); });
    }
    // Its chunks only matter to files that are fetched.
    PreviousVersionChunks previous = PreviousVersionChunks::load(
        root_, plan.to_fetch.empty() ? no_manifest_ : previous_.manifest, state_);
    // Something of the player's in the way of a new file stops the run before anything is downloaded.
    find_path_obstacles(root_, plan.to_fetch, installed_version());
    std::unordered_set<std::string> missing;
    std::vector<const ManifestChunk*> missing_chunks;
    for (const ManifestFile& file : plan.to_fetch) {
        for (const ManifestChunk& chunk : file.chunks) {
            if (previous.chunks().count(chunk.h) == 0 && missing.insert(chunk.h).second) {
                missing_chunks.push_back(&chunk);
            }
        }
    }
    use_pack_index(pack_index_fetch, missing.size());
    const PackPlan packs = plan_packs(plan, missing);
    if (config_.prepare_root) {
        std::error_code ignored;
        fs::create_directories(root_, ignored);
    }
    // Packs are no longer stored: what an earlier version of the launcher left there only takes room.
    remove_tree_quietly(packs_dir_);

    StoreRetry store(fetcher_, config_, channel_path_);
    std::optional<PackStream> stream;
    if (!packs.needed.empty()) {
        stream.emplace(pack_index_, packs.needed, missing_chunks, fetcher_, config_, channel_path_);
        stream->start();
    }
    LocalChunkMap local_chunks;
    ChunkSet verified;
    const LogLine log_line = config_.log;
    RangeReader files;
    ChunkFetchContext context{local_chunks,
                              install_root,
                              previous.chunks(),
                              root_,
                              stream ? &*stream : nullptr,
                              verified,
                              ChunkCounters{result_.chunks_obtained, result_.bytes_downloaded},
                              store,
                              log_line,
                              files};
    enter_phase(stream ? 1 : 3);
    installed_saved_at_ = std::chrono::steady_clock::now();
    if (!config_.transactional) {
        forget_files_to_replace(plan);
        clear_path_obstacles(plan);
    }
    const std::vector<const ManifestChunk*> objects = chunks_outside(packs, missing_chunks);
    std::uint64_t download_bytes = packs.bytes_total;
    for (const ManifestChunk* chunk : objects) {
        download_bytes += chunk->z;
    }
    install_files(plan, context, stream ? &*stream : nullptr, previous, objects, download_bytes);
    if (config_.transactional) {
        commit_staged_files(plan);
    }
    finish(channel, manifest, plan);
}

void UpdateRun::clean_up_after_failure(const std::exception& e) {
    if (!result_.local_write_failed && is_local_write_failure(e)) {
        result_.local_write_failed = true;
        result_.space_free_bytes = 0;
        result_.space_wanted_bytes = std::max(config_.disk_margin_bytes, kMinimumSpaceWanted);
    }
    keep_installed_files();
    remove_tree_quietly(stage_);
    result_.ok = false;
    result_.error = e.what();
}

// The gate stays in the fetcher exactly as long as the run, whichever way the run ends.
class GateAttachment {
public:
    GateAttachment(Fetcher& fetcher, TransferGate& gate) : fetcher_(fetcher) { fetcher_.attach_gate(&gate); }
    ~GateAttachment() { fetcher_.attach_gate(nullptr); }
    GateAttachment(const GateAttachment&) = delete;
    GateAttachment& operator=(const GateAttachment&) = delete;

private:
    Fetcher& fetcher_;
};

} // namespace

Downloader::Downloader(Fetcher& fetcher, DownloaderConfig config) : fetcher_(fetcher), config_(std::move(config)) {}

RunResult Downloader::run(const ProgressCallback& progress, const PhaseCallback& phase) {
    RunResult result;
    TransferGate gate(config_.download_limit_bytes_per_s, config_.cancel);
    const GateAttachment attached(fetcher_, gate);
    UpdateRun run(fetcher_, config_, progress, phase, result, gate);
    try {
        run.execute();
    } catch (const std::exception& e) {
        run.clean_up_after_failure(e);
    }
    return result;
}

} // namespace gu::patch
