#pragma once
// A patch store built in memory for engine tests: files are cut into fixed-size chunks, compressed with
// zstd and described by signed channel, manifest and pack index documents, exactly as the update run
// reads them. MemoryFetcher serves it.

#include "support/test_signer.hpp"

#include "patch/fetcher.hpp"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kyrtest {

// Relative path ("/" separators) -> content.
using FileMap = std::map<std::string, std::string>;

struct StoreOptions {
    std::string product = "valdra7q";
    std::string channel = "windows";
    std::string platform = "windows-x86";
    std::string version = "1.0.0";
    std::vector<std::string> preserve;
    std::size_t chunk_size = 64;
    // 0: no packs. Otherwise every distinct chunk of the publication goes into a pack, this many to a
    // pack, in order of first use, and the pack index lists them.
    std::size_t pack_chunks = 0;
};

struct StoredChunk {
    std::string h;
    std::uint64_t n = 0;
    std::uint64_t z = 0;
};

std::string zstd_compress(std::string_view bytes);

class TestStore {
public:
    TestStore();

    // Publishes `files` as options.version. Chunk objects of earlier publications stay (as in a real
    // store); the documents and the packs are replaced.
    void publish(const FileMap& files, const StoreOptions& options = {});

    // Stores `text` at path, signed with the store's key at path + ".sig".
    void put_signed(const std::string& path, const std::string& text);

    std::string pubkey_b64() const { return signer_.public_key_base64(); }
    const std::string& manifest_path() const { return manifest_path_; }
    // The chunks of a file of the last publication, in order.
    const std::vector<StoredChunk>& chunks_of(const std::string& file) const { return chunks_.at(file); }

    // Store path -> object bytes. Tests may change it between runs.
    std::map<std::string, std::string> objects;

private:
    TestSigner signer_;
    std::string manifest_path_;
    std::vector<std::string> pack_paths_;
    std::map<std::string, std::vector<StoredChunk>> chunks_;
};

// Serves a TestStore through the engine's Fetcher interface; safe for the prefetch workers.
class MemoryFetcher : public gu::patch::Fetcher {
public:
    explicit MemoryFetcher(TestStore& store) : store_(store) {}

    // The next request of path is answered with `bytes` instead of the object.
    void serve_once(const std::string& path, const std::string& bytes);
    // The next stream of path breaks off with FetchError "connection reset" after handing over after_bytes.
    void cut_once(const std::string& path, std::uint64_t after_bytes);

    int requests(const std::string& path) const;
    // Every requested path in order; a stream from a non-zero offset as "path@offset".
    std::vector<std::string> request_log() const;

    std::string get(const std::string& path, std::uint64_t) override { return serve(path, path); }
    // A stream's body passes the run's gate in blocks of this many bytes.
    static constexpr std::size_t kDeliveryBlock = 1024;
    // Hands the body on in kDeliveryBlock blocks. An object larger than max_bytes, or an offset at or past
    // its end, is a FetchError.
    void stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                     const gu::patch::ByteSink& sink) override;

private:
    std::string serve(const std::string& path, const std::string& logged);

    TestStore& store_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> once_;
    std::map<std::string, std::uint64_t> cuts_;
    std::vector<std::string> log_;
};

} // namespace kyrtest
