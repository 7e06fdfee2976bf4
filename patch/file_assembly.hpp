#pragma once
// The file phase's two halves: assembling a file from verified chunks, and verifying and writing an
// assembled file. They run side by side: while the run's thread assembles the next files, a writer
// thread hashes and writes the ones before, so an update keeps two cores busy.

#include "patch/chunk_fetch.hpp"
#include "patch/store_records.hpp"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace gu::patch {

// Where a chunk lies in an assembled file, and whether its bytes were checked against its own hash.
struct ChunkPlace {
    std::size_t offset = 0;
    std::size_t size = 0;
    bool checked = true;
};

// A file's bytes, assembled in a buffer reserved at the manifest size, with where each chunk lies in it.
struct AssembledFile {
    const ManifestFile* file = nullptr;
    std::string bytes;
    std::unordered_map<std::string, ChunkPlace> chunks; // by hash
    // The chunks whose bytes rest on the file's hash alone (all of them read from packs, here or by a
    // file before): when the file matches they count as obtained; when it differs, the file is assembled
    // again chunk by chunk instead of failing the run.
    std::vector<std::string> unchecked_chunks() const;
};

// The bytes of a chunk held by a file that is assembled but not yet on disk; `checked` as in ChunkPlace.
struct PendingChunk {
    std::string_view bytes;
    bool checked = true;
};
using PendingChunks = std::function<std::optional<PendingChunk>(const std::string& hash)>;

// Assembles `file` chunk by chunk; after_chunk gets the bytes assembled so far. A chunk repeated inside the
// file, or held by a pending file, is copied from those bytes (with PackBytes::checked_alone only from
// checked ones): the local chunk map learns about a file only once it is on disk.
AssembledFile assemble_file(const ManifestFile& file, ChunkFetchContext& context, const PendingChunks& pending,
                            const std::function<void(std::uint64_t)>& after_chunk, PackBytes pack_bytes);

// Installs an assembled file below install_root when its SHA-256 matches the manifest (hashed as it is
// written; only a match replaces anything). A mismatch is a VerifyError "file ...: assembled sha256
// mismatch ...", unless some bytes were never checked on their own: then nothing is installed and the
// result is false.
bool verify_and_install(const AssembledFile& assembled, const std::filesystem::path& install_root,
                        const std::filesystem::path& anchor_dir);

// A file the writer is done with.
struct WrittenFile {
    const ManifestFile* file = nullptr;
    // Not written: its hash differed while some of its bytes were unchecked; assemble it again with
    // every chunk checked alone.
    bool assemble_again = false;
    // When written: its unchecked chunks, now confirmed by the file's hash.
    std::vector<std::string> pack_chunks;
};

// Verifies and writes assembled files on threads of its own. Files wait in a queue bounded by a byte
// budget, so neither side waits for the other file by file (a hand-over per file costs a thread wake-up
// each time), and memory stays bounded: each writer thread may have one file in the queue whatever its
// size, more only within the budget (a large file alone in the queue would leave the other writer idle).
// Writing a file costs the kernel more than hashing it costs us, so two writer threads keep the cores busy.
// Files are taken back in submission order. The first failure stops the writing (a file after it may
// already be on disk, complete and verified); it is rethrown by the next submit, take_written or drain.
class FileWriter {
public:
    FileWriter(std::filesystem::path install_root, std::filesystem::path anchor_dir, std::uint64_t budget_bytes,
               unsigned threads);
    // Writes the queued files first, unless writing failed. A failure is not reported any more.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Queues a file, first waiting while the queue holds a file for each writer thread and adding this one
    // would pass the budget.
    void submit(AssembledFile assembled);
    // The files written (or set aside to be assembled again) since the last call, in submission order;
    // their bytes are released.
    std::vector<WrittenFile> take_written();
    // Waits until every queued file is done, then as take_written.
    std::vector<WrittenFile> drain();
    // A chunk of a queued file or of a written file not yet taken. Called by the submitting thread only.
    std::optional<PendingChunk> pending_chunk(const std::string& hash) const;

private:
    void write_queued();
    // Submission number of the oldest queued file, and where a file of a given number is queued.
    std::uint64_t first_queued() const { return submitted_ - queue_.size(); }
    std::size_t position(std::uint64_t number) const { return static_cast<std::size_t>(number - first_queued()); }
    void rethrow_failure();
    std::vector<WrittenFile> take_written_locked();

    const std::filesystem::path install_root_;
    const std::filesystem::path anchor_dir_;
    const std::uint64_t budget_bytes_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // Only the submitting thread adds or removes files; a writer reads the file it writes. The first
    // `written_` files are done, the first `claimed_` are done or being written; `done_` flags each queued
    // file that is on disk or set aside, `rejected_` each one set aside because its unchecked bytes did
    // not match.
    std::deque<AssembledFile> queue_;
    std::deque<bool> done_;
    std::deque<bool> rejected_;
    std::size_t written_ = 0;
    std::size_t claimed_ = 0;
    std::uint64_t unwritten_bytes_ = 0;
    // The chunks of the queued files, for pending_chunk; kept by the submitting thread alone.
    // Each place is tagged with its file's submission number.
    std::unordered_map<std::string, std::pair<std::uint64_t, PendingChunk>> queued_chunks_;
    std::uint64_t submitted_ = 0;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::vector<std::thread> threads_; // last: started once everything above exists
};

} // namespace gu::patch
