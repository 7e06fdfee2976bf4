#include "patch/chunk_fetch.hpp"

#include "patch/errors.hpp"
#include "patch/local_path.hpp"
#include "patch/sha256.hpp"
#include "patch/zstd_codec.hpp"

#include <fstream>
#include <stdexcept>
#include <utility>

namespace gu::patch {

namespace {

// length bytes at offset of file; name is what the messages show. The range is checked against the file's
// size first, so a bad entry never makes a huge allocation.
std::string read_range(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length,
                       const std::string& name) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        throw std::runtime_error("cannot open " + name);
    }
    const std::streamoff end = in.tellg();
    std::string bytes;
    if (end < 0 || offset > static_cast<std::uint64_t>(end) || length > static_cast<std::uint64_t>(end) - offset ||
        length > bytes.max_size()) {
        throw std::runtime_error("short read from " + name);
    }
    bytes.resize(static_cast<std::size_t>(length));
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
        throw std::runtime_error("short read from " + name);
    }
    return bytes;
}

std::optional<std::string> from_installed_files(LocalChunkMap& places, const std::filesystem::path& folder,
                                                const ManifestChunk& chunk) {
    const auto found = places.find(chunk.h);
    if (found == places.end()) {
        return std::nullopt;
    }
    try {
        const LocalChunkRef& ref = found->second;
        std::string bytes = read_range(local_path(folder, ref.path), ref.offset, ref.length, ref.path);
        if (sha256_hex(bytes) == chunk.h) {
            return bytes;
        }
    } catch (const std::exception&) {
    }
    // The installed file changed or vanished: never look there again for this chunk.
    places.erase(found);
    return std::nullopt;
}

void count_obtained(ChunkFetchContext& context, const ManifestChunk& chunk, std::uint64_t downloaded) {
    if (context.verified_chunks.insert(chunk.h).second) {
        ++context.stats.chunks_obtained;
        context.stats.bytes_downloaded += downloaded;
    }
}

std::optional<std::string> from_pack(ChunkFetchContext& context, const ManifestChunk& chunk) {
    if (!context.use_packs) {
        return std::nullopt;
    }
    const auto found = context.pack_index.chunks.find(chunk.h);
    if (found == context.pack_index.chunks.end() || found->second.length != chunk.z) {
        return std::nullopt;
    }
    const ChunkLocation& location = found->second;
    try {
        const std::optional<std::filesystem::path> pack_file = context.pack_cache.pack_for_chunk(location.pack);
        if (!pack_file) {
            return std::nullopt;
        }
        std::string bytes =
            zstd_decompress(read_range(*pack_file, location.offset, location.length, pack_file->string()), chunk.n);
        if (sha256_hex(bytes) != chunk.h) {
            return std::nullopt;
        }
        // The pack's bytes were counted when it was downloaded.
        count_obtained(context, chunk, 0);
        return bytes;
    } catch (const std::exception&) {
        // Including LocalWriteError from the pack download: the chunk's own object may still fit.
        return std::nullopt;
    }
}

std::string from_chunk_object(ChunkFetchContext& context, const ManifestChunk& chunk) {
    const std::string path = chunk_path(chunk.h);
    std::string compressed;
    const auto prefetched = context.prefetched.find(chunk.h);
    if (prefetched != context.prefetched.end()) {
        compressed = std::move(prefetched->second);
        context.prefetched.erase(prefetched);
    } else {
        compressed = context.retry_fetch.retry_fetch(path, chunk.z, true, context.log);
    }
    std::string bytes = zstd_decompress(compressed, chunk.n);
    const std::string actual = sha256_hex(bytes);
    if (actual != chunk.h) {
        throw VerifyError("chunk \"" + chunk.h + "\": sha256 mismatch (got \"" + actual + "\")");
    }
    count_obtained(context, chunk, chunk.z);
    return bytes;
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

std::string fetch_chunk(ChunkFetchContext& context, const ManifestChunk& chunk) {
    if (std::optional<std::string> bytes = from_installed_files(context.local_chunks, context.game_dir, chunk)) {
        return std::move(*bytes);
    }
    if (std::optional<std::string> bytes =
            from_installed_files(context.previous_chunks, context.previous_dir, chunk)) {
        return std::move(*bytes);
    }
    if (std::optional<std::string> bytes = from_pack(context, chunk)) {
        return std::move(*bytes);
    }
    return from_chunk_object(context, chunk);
}

} // namespace gu::patch
