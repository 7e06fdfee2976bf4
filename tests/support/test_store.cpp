#include "support/test_store.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>
#include <zstd.h>

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace kyrtest {

namespace {

// A fixed key: the stores of every test are signed alike, and a failing test can be replayed.
std::array<std::uint8_t, 32> test_seed() {
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) {
        seed[i] = static_cast<std::uint8_t>(0xa5 ^ (i * 7));
    }
    return seed;
}

// Named here rather than by the engine, so that a wrong name on either side shows.
std::string chunk_object_path(const std::string& h) {
    return "v1/chunks/" + h.substr(0, 2) + "/" + h + ".zst";
}

} // namespace

std::string zstd_compress(std::string_view bytes) {
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    const std::size_t size = ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3);
    if (ZSTD_isError(size)) {
        throw std::runtime_error(std::string("ZSTD_compress: ") + ZSTD_getErrorName(size));
    }
    out.resize(size);
    return out;
}

TestStore::TestStore() : signer_(test_seed()) {}

void TestStore::put_signed(const std::string& path, const std::string& text) {
    objects[path] = text;
    objects[path + ".sig"] = signer_.sign_base64(text);
}

void TestStore::publish(const FileMap& files, const StoreOptions& options) {
    chunks_.clear();
    std::vector<std::string> first_use; // distinct chunk hashes of this publication
    std::unordered_map<std::string, std::string> compressed;
    boost::json::array file_list;
    std::uint64_t total_size = 0;
    for (const auto& [path, content] : files) {
        std::vector<StoredChunk>& chunks = chunks_[path];
        boost::json::array chunk_list;
        for (std::size_t at = 0; at < content.size(); at += options.chunk_size) {
            const std::string piece = content.substr(at, options.chunk_size);
            StoredChunk chunk{gu::patch::sha256_hex(piece), piece.size(), 0};
            auto [slot, fresh] = compressed.try_emplace(chunk.h);
            if (fresh) {
                slot->second = zstd_compress(piece);
                first_use.push_back(chunk.h);
                objects[chunk_object_path(chunk.h)] = slot->second;
            }
            chunk.z = slot->second.size();
            chunk_list.push_back(boost::json::object{{"h", chunk.h}, {"n", chunk.n}, {"z", chunk.z}});
            chunks.push_back(chunk);
        }
        total_size += content.size();
        file_list.push_back(boost::json::object{{"path", path},
                                                {"size", content.size()},
                                                {"sha256", gu::patch::sha256_hex(content)},
                                                {"chunks", std::move(chunk_list)}});
    }

    manifest_path_ = "v1/manifests/" + options.platform + "/" + options.version + ".json";
    put_signed(manifest_path_, boost::json::serialize(boost::json::object{
                                   {"schema", 1},
                                   {"product", options.product},
                                   {"channel", options.channel},
                                   {"version", options.version},
                                   {"platform", options.platform},
                                   {"total_size", total_size},
                                   {"preserve", boost::json::array(options.preserve.begin(), options.preserve.end())},
                                   {"files", std::move(file_list)}}));

    put_signed("v1/channels/" + options.channel + ".json",
               boost::json::serialize(boost::json::object{{"product", options.product},
                                                          {"channel", options.channel},
                                                          {"platform", options.platform},
                                                          {"latest", options.version}}));

    for (const std::string& path : pack_paths_) {
        objects.erase(path);
    }
    const std::string pack_index_path = "v1/packs/index-" + options.channel + ".json";
    pack_paths_ = {pack_index_path, pack_index_path + ".sig"};
    if (options.pack_chunks == 0) {
        return;
    }
    boost::json::array packs;
    boost::json::object locations;
    for (std::size_t first = 0; first < first_use.size(); first += options.pack_chunks) {
        const std::string name = "p" + std::to_string(packs.size()) + "-" + options.version + ".pack";
        std::string pack;
        for (std::size_t i = first; i < first_use.size() && i < first + options.pack_chunks; ++i) {
            const std::string& object = compressed.at(first_use[i]);
            locations[first_use[i]] = boost::json::array{packs.size(), pack.size(), object.size()};
            pack += object;
        }
        packs.push_back(
            boost::json::object{{"name", name}, {"size", pack.size()}, {"sha256", gu::patch::sha256_hex(pack)}});
        objects["v1/packs/" + name] = pack;
        pack_paths_.push_back("v1/packs/" + name);
    }
    put_signed(pack_index_path, boost::json::serialize(boost::json::object{{"schema", 1},
                                                                           {"channel", options.channel},
                                                                           {"version", options.version},
                                                                           {"packs", std::move(packs)},
                                                                           {"chunks", std::move(locations)}}));
}

void MemoryFetcher::serve_once(const std::string& path, const std::string& bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    once_[path] = bytes;
}

void MemoryFetcher::cut_once(const std::string& path, std::uint64_t after_bytes) {
    const std::lock_guard<std::mutex> lock(mutex_);
    cuts_[path] = after_bytes;
}

int MemoryFetcher::requests(const std::string& path) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count(log_.begin(), log_.end(), path));
}

std::vector<std::string> MemoryFetcher::request_log() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::string MemoryFetcher::serve(const std::string& path, const std::string& logged) {
    const std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(logged);
    if (const auto once = once_.find(path); once != once_.end()) {
        const std::string bytes = once->second;
        once_.erase(once);
        return bytes;
    }
    const auto found = store_.objects.find(path);
    if (found == store_.objects.end()) {
        throw gu::patch::FetchError("HTTP 404 " + path);
    }
    return found->second;
}

void MemoryFetcher::stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                                const gu::patch::ByteSink& sink) {
    const std::string body = serve(path, offset == 0 ? path : path + "@" + std::to_string(offset));
    std::uint64_t cut = UINT64_MAX;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (const auto found = cuts_.find(path); found != cuts_.end()) {
            cut = found->second;
            cuts_.erase(found);
        }
    }
    if (body.size() > max_bytes) {
        throw gu::patch::FetchError(gu::patch::size_limit_message(path, max_bytes));
    }
    if (offset != 0 && offset >= body.size()) {
        throw gu::patch::FetchError("HTTP 416 " + path);
    }
    const std::string_view rest = std::string_view(body).substr(static_cast<std::size_t>(offset));
    for (std::size_t at = 0; at < rest.size() && at < cut; at += kDeliveryBlock) {
        const std::string_view block =
            rest.substr(at, static_cast<std::size_t>(std::min<std::uint64_t>(kDeliveryBlock, cut - at)));
        if (!gu::patch::admit(gate(), block.size())) {
            throw gu::patch::FetchError("cancelled");
        }
        sink(block);
    }
    if (cut != UINT64_MAX) {
        throw gu::patch::FetchError("connection reset");
    }
}

} // namespace kyrtest
