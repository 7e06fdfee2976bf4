#pragma once
// The assembling half of the file phase: a file is built chunk by chunk, in order, and each chunk goes
// straight to the writer (patch/file_writer.hpp), so no file is ever held in memory as a whole. A chunk
// that appears again, in the same file or a later one, is read back from the part it was written to.

#include "patch/chunk_fetch.hpp"
#include "patch/file_writer.hpp"
#include "patch/store_records.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gu::patch {

// The chunks of files that are assembled but not installed yet, by their first place in a part.
class PartChunks final : public HeldChunks {
public:
    PartChunks(FileWriter& writer, RangeReader& files) : writer_(writer), files_(files) {}

    // Waits for the writer to have the bytes in the part, reads them back and checks their hash.
    bool append(const ManifestChunk& chunk, std::string& buffer) override;

    void add(const std::string& hash, std::uint64_t file_number, std::uint64_t offset, std::uint64_t length);
    // The file's part is leaving the writer (installed, or set aside): its places go, and the part is no
    // longer held open for reading, so that it can be moved or removed.
    void forget(const ManifestFile& file, std::uint64_t file_number, const std::filesystem::path& part);

private:
    struct Place {
        std::uint64_t file_number = 0;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };

    FileWriter& writer_;
    RangeReader& files_;
    std::unordered_map<std::string, Place> places_;
};

// What assemble_file handed to the writer.
struct AssembledFile {
    std::uint64_t number = 0;
    // The chunks whose bytes were downloaded (from a pack or as their own objects) and rest on the file's
    // hash alone: when the file matches they count as obtained.
    std::vector<std::string> unchecked_chunks;
    // Some bytes rest on the file's hash alone (downloaded, or the previous version's): when it differs,
    // the file is assembled again with every chunk checked.
    bool rests_on_file_hash = false;
};

// Assembles `file` into the writer as its next file, written to `part`. after_chunk gets the size of each
// chunk appended.
AssembledFile assemble_file(const ManifestFile& file, const std::filesystem::path& part, ChunkFetchContext& context,
                            FileWriter& writer, PartChunks& parts,
                            const std::function<void(std::uint64_t)>& after_chunk, ChunkCheck chunk_check);

} // namespace gu::patch
