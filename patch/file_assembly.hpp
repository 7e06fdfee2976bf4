#pragma once
// The file phase's two halves: assembling a file from verified chunks, and verifying and writing an
// assembled file. They run side by side (the next file is assembled while the last one is hashed and
// written), so an update keeps two cores busy.

#include "patch/chunk_fetch.hpp"
#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace gu::patch {

// A file's bytes, assembled in a buffer reserved at the manifest size, with where each chunk lies in it.
struct AssembledFile {
    const ManifestFile* file = nullptr;
    std::string bytes;
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> chunks; // hash -> offset, size
};

// Assembles `file` chunk by chunk; after_chunk gets the bytes assembled so far. A chunk repeated inside the
// file, or held by `neighbour` (the file assembled just before, still being written), is copied from those
// verified bytes: the local chunk map learns about a file only once it is on disk.
AssembledFile assemble_file(const ManifestFile& file, ChunkFetchContext& context, const AssembledFile* neighbour,
                            const std::function<void(std::uint64_t)>& after_chunk);

// Checks an assembled file's SHA-256 against the manifest (VerifyError "file ...: assembled sha256
// mismatch ...") and installs it below install_root.
void verify_and_install(const AssembledFile& assembled, const std::filesystem::path& install_root,
                        const std::filesystem::path& anchor_dir);

// Verifies and writes one assembled file at a time on a second thread. The file stays readable (as the
// next file's neighbour) until finish() has returned.
class FileWriter {
public:
    FileWriter(std::filesystem::path install_root, std::filesystem::path anchor_dir);
    // Waits for a write that is still running; its failure is not reported any more.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Starts writing `assembled`; finish() must have been called for the previous one.
    void start(AssembledFile assembled);
    // The file being written, if any.
    const AssembledFile* pending() const { return pending_ ? &*pending_ : nullptr; }
    // Waits for the running write and rethrows its failure; returns the written file (nothing when none).
    std::optional<AssembledFile> finish();

private:
    std::filesystem::path install_root_;
    std::filesystem::path anchor_dir_;
    std::optional<AssembledFile> pending_;
    std::future<void> writing_; // declared after pending_: destroyed first, so the write ends before its bytes
};

} // namespace gu::patch
