#pragma once
// Chunk objects of the store: "v1/chunks/<h[0:2]>/<h>.zst", one zstd frame of the chunk's bytes with the
// content size in its header, named by the SHA-256 of those bytes. Written once; an object already in the
// store is re-used after it was checked to decompress to the right bytes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

struct ZSTD_CCtx_s;

namespace kyrstore {

std::filesystem::path chunk_object_path(const std::filesystem::path& store, std::string_view h);

enum class ObjectFate {
    written,  // the store did not have it
    reused,   // present and sound
    repaired, // present but damaged (a foreign write, a disk fault): written anew
};

struct StoredObject {
    std::uint64_t z = 0; // size of the object file
    ObjectFate fate = ObjectFate::written;
};

// One per thread: it owns a compression context.
class ChunkObjectWriter {
public:
    ChunkObjectWriter(std::filesystem::path store, int level);
    ~ChunkObjectWriter();
    ChunkObjectWriter(const ChunkObjectWriter&) = delete;
    ChunkObjectWriter& operator=(const ChunkObjectWriter&) = delete;

    // Makes sure the object of `bytes` (whose hash is h) is in the store. Throws std::runtime_error.
    StoredObject store(const std::string& h, std::string_view bytes);

    std::string compress(std::string_view bytes);

private:
    std::filesystem::path store_;
    ZSTD_CCtx_s* context_;
};

} // namespace kyrstore
