#include "tools/kyr-store/packs.hpp"

#include "tools/kyr-store/chunk_objects.hpp"
#include "tools/kyr-store/staged_file.hpp"

#include "patch/file_hash.hpp"
#include "patch/sha256.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

std::uint64_t hash_prefix(const std::string& h) {
    return std::stoull(h.substr(0, 16), nullptr, 16);
}

std::string read_object(const fs::path& store, const PackedChunk& chunk) {
    const fs::path path = chunk_object_path(store, chunk.h);
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        throw std::runtime_error("chunk object " + path.u8string() + " is missing");
    }
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || data.size() != chunk.z) {
        throw std::runtime_error("chunk object " + path.u8string() + " changed while it was packed");
    }
    return data;
}

// Streams the pack's objects through `sink` and returns the pack's SHA-256.
template <typename Sink>
std::string stream_pack(const fs::path& store, const std::vector<PackedChunk>& chunks, std::size_t begin,
                        std::size_t end, Sink&& sink) {
    gu::patch::Sha256 hasher;
    for (std::size_t i = begin; i < end; ++i) {
        const std::string data = read_object(store, chunks[i]);
        hasher.update(data);
        sink(data);
    }
    const gu::patch::Sha256Digest digest = hasher.finish();
    return gu::patch::to_hex(digest.data(), digest.size());
}

bool is_sound_pack(const fs::path& path, std::uint64_t size, const std::string& sha) {
    std::error_code ec;
    if (fs::file_size(path, ec) != size || ec) {
        return false;
    }
    try {
        return gu::patch::sha256_hex_file(path) == sha;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

std::vector<PackedChunk> chunks_in_first_use_order(const std::vector<gu::patch::ManifestFile>& files) {
    std::vector<PackedChunk> chunks;
    std::unordered_set<std::string> seen;
    for (const gu::patch::ManifestFile& file : files) {
        for (const gu::patch::ManifestChunk& chunk : file.chunks) {
            if (seen.insert(chunk.h).second) {
                chunks.push_back({chunk.h, chunk.z});
            }
        }
    }
    return chunks;
}

std::vector<std::size_t> plan_pack_ends(const std::vector<PackedChunk>& chunks, std::uint64_t target) {
    const std::uint64_t least = target / 2;
    const std::uint64_t most = target * 2;
    const std::uint64_t span = target - least == 0 ? 1 : target - least;
    std::vector<std::size_t> ends;
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (size > 0 && size + chunks[i].z > most) {
            ends.push_back(i);
            size = 0;
        }
        size += chunks[i].z;
        // The hash is uniform, so this chunk ends the pack with probability z / span: on average the pack
        // grows by `span` bytes past `least`.
        if (size >= least && hash_prefix(chunks[i].h) % span < chunks[i].z) {
            ends.push_back(i + 1);
            size = 0;
        }
    }
    if (size > 0) {
        ends.push_back(chunks.size());
    }
    return ends;
}

PackSet write_packs(const fs::path& store, const std::vector<PackedChunk>& chunks, std::uint64_t target) {
    const fs::path folder = store / "v1" / "packs";
    fs::create_directories(folder);
    PackSet set;
    std::size_t begin = 0;
    for (const std::size_t end : plan_pack_ends(chunks, target)) {
        const auto number = static_cast<std::uint32_t>(set.packs.size());
        std::uint64_t size = 0;
        for (std::size_t i = begin; i < end; ++i) {
            set.locations.push_back({chunks[i].h, {number, size, chunks[i].z}});
            size += chunks[i].z;
        }
        const std::string sha = stream_pack(store, chunks, begin, end, [](const std::string&) {});
        const std::string name = sha + ".pack";
        const fs::path path = folder / name;
        if (is_sound_pack(path, size, sha)) {
            ++set.reused;
        } else {
            StagedFile file(path);
            const std::string written =
                stream_pack(store, chunks, begin, end, [&](const std::string& data) { file.write(data); });
            if (written != sha) {
                throw std::runtime_error("chunk objects changed while pack " + name + " was written");
            }
            file.commit(false);
            ++set.written;
            set.written_bytes += size;
        }
        set.packs.push_back({name, size, sha});
        set.total_bytes += size;
        begin = end;
    }
    return set;
}

} // namespace kyrstore
