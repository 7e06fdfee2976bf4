#include "patch/chunk_fetch.hpp"

#include "patch/errors.hpp"
#include "patch/local_path.hpp"
#include "patch/prefetch_pool.hpp"
#include "patch/sha256.hpp"
#include "patch/zstd_codec.hpp"

#include <stdexcept>
#include <utility>

namespace gu::patch {

namespace {

// True when the bytes appended to buffer since `before` hash to the chunk's name; otherwise they are
// taken off again.
bool keep_if_verified(std::string& buffer, std::size_t before, const ManifestChunk& chunk) {
    if (sha256_hex(std::string_view(buffer).substr(before)) == chunk.h) {
        return true;
    }
    buffer.resize(before);
    return false;
}

bool from_installed_files(LocalChunkMap& places, const std::filesystem::path& folder, RangeReader& files,
                          const ManifestChunk& chunk, std::string& buffer, ChunkCheck check) {
    const auto found = places.find(chunk.h);
    if (found == places.end()) {
        return false;
    }
    const std::size_t before = buffer.size();
    try {
        const LocalChunkRef& ref = found->second;
        files.append(local_path(folder, ref.path), ref.offset, ref.length, ref.path, buffer);
        if (check == ChunkCheck::checked_with_their_file || keep_if_verified(buffer, before, chunk)) {
            return true;
        }
    } catch (const std::exception&) {
        buffer.resize(before);
    }
    // The installed file changed or vanished: never look there again for this chunk.
    places.erase(found);
    return false;
}

void count_obtained(ChunkFetchContext& context, const ManifestChunk& chunk, std::uint64_t downloaded) {
    if (context.verified_chunks.insert(chunk.h).second) {
        ++context.stats.chunks_obtained;
        context.stats.bytes_downloaded += downloaded;
    }
}

bool from_pack(ChunkFetchContext& context, const ManifestChunk& chunk, std::string& buffer, ChunkCheck check) {
    if (context.packs == nullptr) {
        return false;
    }
    const std::optional<std::string> compressed = context.packs->take(chunk.h);
    if (!compressed) {
        return false;
    }
    const std::size_t before = buffer.size();
    try {
        zstd_decompress_append(*compressed, chunk.n, buffer);
    } catch (const std::exception&) {
        return false;
    }
    if (check == ChunkCheck::checked_with_their_file) {
        return true;
    }
    if (!keep_if_verified(buffer, before, chunk)) {
        return false;
    }
    count_downloaded_chunk(context, chunk.h);
    return true;
}

ChunkSource from_chunk_object(ChunkFetchContext& context, const ManifestChunk& chunk, std::string& buffer,
                              ChunkCheck check) {
    std::optional<std::string> prefetched;
    if (context.prefetch != nullptr) {
        prefetched = context.prefetch->take(chunk.h);
        context.prefetch->forward_log(context.log);
    }
    const std::string compressed =
        prefetched ? std::move(*prefetched)
                   : context.retry_fetch.retry_fetch(chunk_path(chunk.h), chunk.z, true, context.log);
    const std::size_t before = buffer.size();
    zstd_decompress_append(compressed, chunk.n, buffer);
    if (check == ChunkCheck::checked_with_their_file) {
        context.stats.bytes_downloaded += chunk.z;
        return ChunkSource::download_unchecked;
    }
    const std::string actual = sha256_hex(std::string_view(buffer).substr(before));
    if (actual != chunk.h) {
        buffer.resize(before);
        throw VerifyError("chunk \"" + chunk.h + "\": sha256 mismatch (got \"" + actual + "\")");
    }
    count_obtained(context, chunk, chunk.z);
    return ChunkSource::checked;
}

} // namespace

std::string chunk_path(std::string_view h) {
    if (h.size() < 2) {
        throw VerifyError("chunk hash too short: \"" + std::string(h) + "\"");
    }
    std::string path = "v1/chunks/";
    path.append(h.substr(0, 2)).append("/").append(h).append(".zst");
    return path;
}

ChunkSource append_chunk(ChunkFetchContext& context, const ManifestChunk& chunk, std::string& buffer,
                         ChunkCheck chunk_check) {
    if (from_installed_files(context.local_chunks, context.game_dir, context.files, chunk, buffer,
                             ChunkCheck::checked_alone) ||
        (context.held != nullptr && context.held->append(chunk, buffer))) {
        return ChunkSource::checked;
    }
    if (from_installed_files(context.previous_chunks, context.previous_dir, context.files, chunk, buffer,
                             chunk_check)) {
        return chunk_check == ChunkCheck::checked_with_their_file ? ChunkSource::previous_unchecked
                                                                  : ChunkSource::checked;
    }
    if (from_pack(context, chunk, buffer, chunk_check)) {
        return chunk_check == ChunkCheck::checked_with_their_file ? ChunkSource::download_unchecked
                                                                  : ChunkSource::checked;
    }
    return from_chunk_object(context, chunk, buffer, chunk_check);
}

void count_downloaded_chunk(ChunkFetchContext& context, const std::string& hash) {
    if (context.verified_chunks.insert(hash).second) {
        ++context.stats.chunks_obtained;
    }
}

std::string fetch_chunk(ChunkFetchContext& context, const ManifestChunk& chunk) {
    std::string bytes;
    append_chunk(context, chunk, bytes);
    return bytes;
}

} // namespace gu::patch
