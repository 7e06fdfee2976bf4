#pragma once
// A patch store built in memory for engine tests: files are cut into fixed-size chunks, compressed with
// zstd and described by signed channel, manifest and pack index documents, exactly as the update run
// reads them. MemoryFetcher serves it and injects the faults of a real network and disk.

#include "support/test_signer.hpp"

#include "patch/fetcher.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
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
    bool flat_manifest_path = false;
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

    // Stores `text` at path with its signature at path + ".sig", signed with the store's key.
    void put_signed(const std::string& path, const std::string& text);

    const TestSigner& signer() const { return signer_; }
    std::string pubkey_b64() const { return signer_.public_key_base64(); }

    const std::string& channel_path() const { return channel_path_; }
    const std::string& manifest_path() const { return manifest_path_; }
    const std::string& pack_index_path() const { return pack_index_path_; }
    const std::vector<std::string>& pack_names() const { return pack_names_; }

    // The chunks of a file of the last publication, in order.
    const std::vector<StoredChunk>& chunks_of(const std::string& file) const { return chunks_.at(file); }

    // Store path -> object bytes. Tests may change it between runs (or from a MemoryFetcher hook).
    std::map<std::string, std::string> objects;

private:
    TestSigner signer_;
    std::string channel_path_;
    std::string manifest_path_;
    std::string pack_index_path_;
    std::vector<std::string> pack_names_;
    std::map<std::string, std::vector<StoredChunk>> chunks_;
};

enum class FaultKind {
    fetch_error,       // FetchError with the fault's text (default "HTTP 503 " + path)
    local_write_error, // LocalWriteError with the fault's text (default "disk full: " + path)
    wrong_bytes,       // the fault's text is served instead of the object
    cut_short,         // a download writes half of its bytes, then FetchError("connection reset")
};

// Serves a TestStore through the engine's Fetcher interface. Safe for the prefetch workers: every request
// (the hook included) runs under one lock, so a hook must not call back into the fetcher.
class MemoryFetcher : public gu::patch::Fetcher {
public:
    explicit MemoryFetcher(TestStore& store) : store_(store) {}

    // The next `times` requests of path fail (or are answered wrongly) as `kind` says; the faults of one
    // path are used up in the order they were added.
    void fail(const std::string& path, FaultKind kind, int times = 1, const std::string& text = "");

    // Number of requests of path so far, and every requested path in order.
    int requests(const std::string& path) const;
    std::vector<std::string> request_log() const;

    std::string get(const std::string& path, std::uint64_t) override;
    void download(const std::string& path, const std::string& dest_file) override;
    bool supports_resume() override { return resume; }
    // With resume and a non-zero offset at most the object's size, appends the rest; otherwise rewrites.
    void download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset) override;

    // Called (under the lock) with the path before each request is served, e.g. to cancel the run or to
    // change the store between requests.
    std::function<void(const std::string& path)> before_request;
    bool resume = true;

private:
    struct Fault {
        FaultKind kind;
        std::string text;
    };

    // The body to deliver for path; `cut` tells a download to stop half-way.
    std::string serve(const std::string& path, bool& cut);
    void write(const std::string& dest_file, std::string_view bytes, bool append, bool cut);

    TestStore& store_;
    mutable std::mutex mutex_;
    std::map<std::string, std::deque<Fault>> faults_;
    std::map<std::string, int> counts_;
    std::vector<std::string> log_;
};

} // namespace kyrtest
