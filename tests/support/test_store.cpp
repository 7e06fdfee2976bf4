#include "support/test_store.hpp"

#include "patch/errors.hpp"
#include "patch/sha256.hpp"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>
#include <zstd.h>

#include <filesystem>
#include <fstream>
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

    boost::json::array preserve;
    for (const std::string& pattern : options.preserve) {
        preserve.push_back(boost::json::string(pattern));
    }
    boost::json::object manifest;
    manifest["schema"] = 1;
    manifest["product"] = options.product;
    manifest["channel"] = options.channel;
    manifest["version"] = options.version;
    manifest["platform"] = options.platform;
    manifest["total_size"] = total_size;
    manifest["preserve"] = std::move(preserve);
    manifest["files"] = std::move(file_list);
    manifest_path_ = options.flat_manifest_path ? "v1/manifests/" + options.version + ".json"
                                                : "v1/manifests/" + options.platform + "/" + options.version + ".json";
    put_signed(manifest_path_, boost::json::serialize(manifest));

    channel_path_ = "v1/channels/" + options.channel + ".json";
    put_signed(channel_path_, boost::json::serialize(boost::json::object{{"product", options.product},
                                                                         {"channel", options.channel},
                                                                         {"platform", options.platform},
                                                                         {"latest", options.version}}));

    for (const std::string& name : pack_names_) {
        objects.erase("v1/packs/" + name);
    }
    pack_names_.clear();
    pack_index_path_ = "v1/packs/index-" + options.channel + ".json";
    objects.erase(pack_index_path_);
    objects.erase(pack_index_path_ + ".sig");
    if (options.pack_chunks == 0) {
        return;
    }
    boost::json::array packs;
    boost::json::object locations;
    for (std::size_t first = 0; first < first_use.size(); first += options.pack_chunks) {
        const std::string name = "p" + std::to_string(pack_names_.size()) + "-" + options.version + ".pack";
        std::string pack;
        for (std::size_t i = first; i < first_use.size() && i < first + options.pack_chunks; ++i) {
            const std::string& object = compressed.at(first_use[i]);
            locations[first_use[i]] = boost::json::array{pack_names_.size(), pack.size(), object.size()};
            pack += object;
        }
        packs.push_back(
            boost::json::object{{"name", name}, {"size", pack.size()}, {"sha256", gu::patch::sha256_hex(pack)}});
        objects["v1/packs/" + name] = pack;
        pack_names_.push_back(name);
    }
    put_signed(pack_index_path_, boost::json::serialize(boost::json::object{{"schema", 1},
                                                                            {"channel", options.channel},
                                                                            {"version", options.version},
                                                                            {"packs", std::move(packs)},
                                                                            {"chunks", std::move(locations)}}));
}

void MemoryFetcher::fail(const std::string& path, FaultKind kind, int times, const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < times; ++i) {
        faults_[path].push_back(Fault{kind, text});
    }
}

int MemoryFetcher::requests(const std::string& path) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = counts_.find(path);
    return found == counts_.end() ? 0 : found->second;
}

std::vector<std::string> MemoryFetcher::request_log() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::string MemoryFetcher::serve(const std::string& path, bool& cut) {
    const std::lock_guard<std::mutex> lock(mutex_);
    cut = false;
    ++counts_[path];
    log_.push_back(path);
    if (before_request) {
        before_request(path);
    }
    auto scripted = faults_.find(path);
    if (scripted != faults_.end() && !scripted->second.empty()) {
        const Fault fault = scripted->second.front();
        scripted->second.pop_front();
        switch (fault.kind) {
        case FaultKind::fetch_error:
            throw gu::patch::FetchError(fault.text.empty() ? "HTTP 503 " + path : fault.text);
        case FaultKind::local_write_error:
            throw gu::patch::LocalWriteError(fault.text.empty() ? "disk full: " + path : fault.text);
        case FaultKind::wrong_bytes:
            return fault.text;
        case FaultKind::cut_short:
            cut = true;
            break;
        }
    }
    const auto found = store_.objects.find(path);
    if (found == store_.objects.end()) {
        throw gu::patch::FetchError("HTTP 404 " + path);
    }
    return found->second;
}

void MemoryFetcher::write(const std::string& dest_file, std::string_view bytes, bool append, bool cut) {
    std::ofstream out(std::filesystem::u8path(dest_file),
                      std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    const std::string_view written = cut ? bytes.substr(0, bytes.size() / 2) : bytes;
    out.write(written.data(), static_cast<std::streamsize>(written.size()));
    out.close();
    if (!out) {
        throw gu::patch::LocalWriteError("cannot write " + dest_file);
    }
    if (cut) {
        throw gu::patch::FetchError("connection reset");
    }
}

std::string MemoryFetcher::get(const std::string& path, std::uint64_t) {
    bool cut = false;
    std::string body = serve(path, cut);
    if (cut) {
        throw gu::patch::FetchError("connection reset");
    }
    return body;
}

void MemoryFetcher::download(const std::string& path, const std::string& dest_file) {
    bool cut = false;
    const std::string body = serve(path, cut);
    write(dest_file, body, false, cut);
}

void MemoryFetcher::download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) {
    bool cut = false;
    const std::string body = serve(path, cut);
    if (resume && offset != 0 && offset <= body.size()) {
        write(dest_file, std::string_view(body).substr(static_cast<std::size_t>(offset)), true, cut);
    } else {
        write(dest_file, body, false, cut);
    }
}

} // namespace kyrtest
