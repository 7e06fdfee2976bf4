#pragma once
// Content-defined chunking (FastCDC with normalised chunking): a cut falls where a gear hash of the last
// 64 bytes hits a mask, so an insertion moves only the boundaries next to it and the chunks after it are
// the same as before. The cut points are part of the store format in practice: changing the table, the
// masks or the sizes makes the next publish store every chunk anew.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace kyrstore {

struct ChunkSizes {
    std::size_t min;
    std::size_t average; // a power of two: it sets the mask widths
    std::size_t max;
};

// 16 KiB / 64 KiB / 256 KiB: about 20 000 chunks for a 1.2 GB game (a manifest of a few MB and a
// reasonable request count for per-chunk fetching), small enough that a changed region costs little.
inline constexpr ChunkSizes kDefaultChunkSizes{16 * 1024, 64 * 1024, 256 * 1024};

// Length of the chunk that starts at data[0]. `size` must be at least sizes.max unless the input ends at
// data[size]; the result is then within [min, max], or `size` itself when size <= min (the last chunk).
std::size_t next_chunk_length(const std::uint8_t* data, std::size_t size, const ChunkSizes& sizes);

// Splits a whole buffer; for tests and small inputs. An empty buffer has no chunks.
std::vector<std::size_t> chunk_lengths(std::string_view bytes, const ChunkSizes& sizes = kDefaultChunkSizes);

// Streams a file chunk by chunk through one buffer of a few times the maximum chunk size.
class FileChunker {
public:
    // Throws std::runtime_error when the file cannot be opened.
    FileChunker(const std::filesystem::path& path, const ChunkSizes& sizes = kDefaultChunkSizes);

    // The next chunk, valid until the following call; false at the end of the file. Throws
    // std::runtime_error on a read error.
    bool next(std::string_view& chunk);

private:
    void refill();

    std::filesystem::path path_;
    ChunkSizes sizes_;
    std::ifstream in_;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
};

} // namespace kyrstore
