#include "patch/file_assembly.hpp"

#include "patch/atomic_file.hpp"
#include "patch/sha256.hpp"

#include <stdexcept>

namespace gu::patch {


bool PartChunks::append(const ManifestChunk& chunk, std::string& buffer) {
    const auto found = places_.find(chunk.h);
    if (found == places_.end()) {
        return false;
    }
    const Place place = found->second;
    const std::size_t before = buffer.size();
    // A writer failure propagates: it ends the run. Only a bad read-back is left to the other sources.
    if (writer_.wait_written(place.file_number, place.offset + place.length)) {
        const std::filesystem::path* part = writer_.part_of(place.file_number);
        try {
            files_.append(*part, place.offset, place.length, path_text(*part), buffer);
            if (sha256_hex(std::string_view(buffer).substr(before)) == chunk.h) {
                return true;
            }
        } catch (const std::exception&) {
        }
        buffer.resize(before);
    }
    places_.erase(found);
    return false;
}

void PartChunks::add(const std::string& hash, std::uint64_t file_number, std::uint64_t offset,
                     std::uint64_t length) {
    places_.emplace(hash, Place{file_number, offset, length});
}

void PartChunks::forget(const ManifestFile& file, std::uint64_t file_number, const std::filesystem::path& part) {
    for (const ManifestChunk& chunk : file.chunks) {
        const auto found = places_.find(chunk.h);
        if (found != places_.end() && found->second.file_number == file_number) {
            places_.erase(found);
        }
    }
    files_.release(part);
}

AssembledFile assemble_file(const ManifestFile& file, const std::filesystem::path& part, ChunkFetchContext& context,
                            FileWriter& writer, PartChunks& parts,
                            const std::function<void(std::uint64_t)>& after_chunk, ChunkCheck chunk_check) {
    AssembledFile assembled;
    assembled.number = writer.open(file, part);
    std::uint64_t offset = 0;
    for (const ManifestChunk& chunk : file.chunks) {
        std::string piece;
        const ChunkSource source = append_chunk(context, chunk, piece, chunk_check);
        if (source == ChunkSource::download_unchecked) {
            assembled.unchecked_chunks.push_back(chunk.h);
        }
        assembled.rests_on_file_hash = assembled.rests_on_file_hash || source != ChunkSource::checked;
        const std::uint64_t length = piece.size();
        writer.write(std::move(piece));
        parts.add(chunk.h, assembled.number, offset, length);
        offset += length;
        after_chunk(length);
    }
    writer.close();
    return assembled;
}

} // namespace gu::patch
