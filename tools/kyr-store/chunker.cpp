#include "tools/kyr-store/chunker.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace kyrstore {
namespace {

// The gear table: 256 pseudo-random words from splitmix64 with a fixed seed, computed at compile time so
// that every build cuts the same boundaries.
constexpr std::array<std::uint64_t, 256> make_gear_table() {
    std::array<std::uint64_t, 256> table{};
    std::uint64_t state = 0x6b79722d73746f72ULL;
    for (auto& word : table) {
        state += 0x9e3779b97f4a7c15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        word = z ^ (z >> 31);
    }
    return table;
}

constexpr std::array<std::uint64_t, 256> kGear = make_gear_table();

// With hash = (hash << 1) + gear[byte], bit k depends on the last k + 1 bytes only, so the mask takes the
// top bits: they cover the widest window.
constexpr std::uint64_t top_bits(unsigned count) {
    return count == 0 ? 0 : ~0ULL << (64 - count);
}

unsigned log2_of(std::size_t value) {
    unsigned bits = 0;
    while (value > 1) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

constexpr std::size_t kWindow = 64;

} // namespace

std::size_t next_chunk_length(const std::uint8_t* data, std::size_t size, const ChunkSizes& sizes) {
    if (size <= sizes.min) {
        return size;
    }
    const std::size_t limit = std::min(size, sizes.max);
    const std::size_t normal = std::min(sizes.average, limit);
    // Normalised chunking: a stricter mask before the average size and a looser one after it pull the
    // lengths towards the average.
    const unsigned bits = log2_of(sizes.average);
    const std::uint64_t strict = top_bits(bits + 2);
    const std::uint64_t loose = top_bits(bits > 2 ? bits - 2 : 1);

    // Warming up over the 64 bytes before the minimum makes the hash at every position a function of the
    // content alone, not of where this chunk started.
    std::size_t i = sizes.min > kWindow ? sizes.min - kWindow : 0;
    std::uint64_t hash = 0;
    for (; i < sizes.min; ++i) {
        hash = (hash << 1) + kGear[data[i]];
    }
    for (; i < normal; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & strict) == 0) {
            return i + 1;
        }
    }
    for (; i < limit; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & loose) == 0) {
            return i + 1;
        }
    }
    return limit;
}

std::vector<std::size_t> chunk_lengths(std::string_view bytes, const ChunkSizes& sizes) {
    std::vector<std::size_t> lengths;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::size_t length = next_chunk_length(data + offset, bytes.size() - offset, sizes);
        lengths.push_back(length);
        offset += length;
    }
    return lengths;
}

FileChunker::FileChunker(const std::filesystem::path& path, const ChunkSizes& sizes)
    : path_(path), sizes_(sizes), in_(path, std::ios::binary), buffer_(std::max<std::size_t>(sizes.max * 4, 1)) {
    if (!in_.is_open()) {
        throw std::runtime_error("cannot open " + path.u8string());
    }
}

void FileChunker::refill() {
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    while (!at_end_ && end_ < buffer_.size()) {
        in_.read(reinterpret_cast<char*>(buffer_.data() + end_), static_cast<std::streamsize>(buffer_.size() - end_));
        if (in_.bad()) {
            throw std::runtime_error("read error on " + path_.u8string());
        }
        end_ += static_cast<std::size_t>(in_.gcount());
        at_end_ = in_.eof();
    }
}

bool FileChunker::next(std::string_view& chunk) {
    if (!at_end_ && end_ - start_ < sizes_.max) {
        refill();
    }
    if (start_ == end_) {
        return false;
    }
    const std::size_t length = next_chunk_length(buffer_.data() + start_, end_ - start_, sizes_);
    chunk = std::string_view(reinterpret_cast<const char*>(buffer_.data() + start_), length);
    start_ += length;
    return true;
}

} // namespace kyrstore
