#include "tools/kyr-store/store_verify.hpp"

#include "tools/kyr-store/store_contents.hpp"

#include "patch/chunk_fetch.hpp"
#include "patch/errors.hpp"
#include "patch/parallel_for.hpp"
#include "patch/sha256.hpp"
#include "patch/signed_document.hpp"
#include "patch/store_documents.hpp"
#include "patch/zstd_codec.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <tuple>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

// Loose chunk objects are checked in batches, so that a job is worth handing to a thread.
constexpr std::size_t kChunkBatch = 64;
// A chunk that no checked manifest names is decompressed to the size in its frame header, up to this.
constexpr std::uint64_t kLargestUnnamedChunk = 1ULL << 30;

bool is_chunk_name(const std::string& h) {
    return h.size() == 64 &&
           std::all_of(h.begin(), h.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A pack mapped read-only: hashed front to back while its chunk ranges are checked in passing, so each
// byte comes from the disk once however large the pack.
class MappedPack {
public:
    explicit MappedPack(const fs::path& file) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            problem_ = errno == ENOENT ? "missing" : std::string("cannot open: ") + std::strerror(errno);
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        size_ = static_cast<std::uint64_t>(info.st_size);
        if (size_ == 0) {
            ::close(fd);
            return;
        }
        void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        ::close(fd);
        if (mapped == MAP_FAILED) {
            problem_ = std::string("cannot map: ") + std::strerror(errno);
            return;
        }
        ::madvise(mapped, size_, MADV_SEQUENTIAL);
        data_ = static_cast<const char*>(mapped);
    }
    ~MappedPack() {
        if (data_ != nullptr) {
            ::munmap(const_cast<char*>(data_), size_);
        }
    }
    MappedPack(const MappedPack&) = delete;
    MappedPack& operator=(const MappedPack&) = delete;

    const std::string& problem() const { return problem_; } // empty when it is readable
    std::uint64_t size() const { return size_; }
    std::string_view bytes(std::uint64_t offset, std::uint64_t length) const {
        return {data_ + offset, static_cast<std::size_t>(length)};
    }

private:
    std::string problem_;
    const char* data_ = nullptr;
    std::uint64_t size_ = 0;
};

struct ExpectedChunk {
    std::uint64_t n = 0;
    std::uint64_t z = 0;
};

struct RangeCheck {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::string h;
    bool checks_object = false; // the chunk's own object is checked with this range

    bool operator<(const RangeCheck& other) const {
        return std::tie(offset, length, h) < std::tie(other.offset, other.length, other.h);
    }
    bool operator==(const RangeCheck& other) const {
        return std::tie(offset, length, h) == std::tie(other.offset, other.length, other.h);
    }
};

struct PackCheck {
    std::string path;
    std::vector<std::pair<std::string, gu::patch::PackEntry>> entries; // (index path, entry) naming this pack
    std::vector<RangeCheck> ranges;
};

std::string describe(const RangeCheck& range) {
    return "chunk " + range.h + " at [" + std::to_string(range.offset) + ", " + std::to_string(range.length) + "]";
}

// What is wrong with a chunk's stored bytes: they must decompress to n bytes that hash to the chunk's name.
std::string content_problem(std::string_view stored, const std::string& h, std::uint64_t n) {
    thread_local std::string plain;
    plain.clear();
    try {
        gu::patch::zstd_decompress_append(stored, n, plain);
    } catch (const gu::patch::VerifyError& e) {
        return "does not decompress to its " + std::to_string(n) + " bytes (" + e.what() + ")";
    }
    const std::string got = gu::patch::sha256_hex(plain);
    return got == h ? std::string() : "holds other bytes (SHA-256 " + got + ")";
}

class Verifier {
public:
    Verifier(const VerifyOptions& options, const VerifyObserver& observer) : options_(options), observer_(observer) {}

    VerifySummary run() {
        const auto started = std::chrono::steady_clock::now();
        check_documents();
        plan_objects();
        const std::size_t batches = (loose_.size() + kChunkBatch - 1) / kChunkBatch;
        const unsigned workers = options_.threads != 0 ? options_.threads : gu::patch::cpu_workers();
        gu::patch::parallel_for(packs_.size() + batches, workers, [&](std::size_t job) {
            try {
                if (job < packs_.size()) {
                    check_pack(packs_[job]);
                } else {
                    check_loose(job - packs_.size());
                }
            } catch (const std::exception& e) {
                problem(std::string("internal error: ") + e.what());
            }
        });
        summary_.chunk_objects = chunk_objects_;
        summary_.packs = packs_checked_;
        summary_.bytes_read = bytes_read_;
        summary_.duration =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        return summary_;
    }

private:
    void problem(const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex_);
        summary_.problems.push_back(line);
        if (observer_.problem) {
            observer_.problem(line);
        }
    }

    void advance(std::uint64_t bytes) {
        const std::uint64_t done = done_ += bytes;
        if (observer_.progress) {
            const std::lock_guard<std::mutex> lock(mutex_);
            observer_.progress(done, total_);
        }
    }

    // The document's text once its signature was checked (when a key is given); nothing when unreadable.
    std::optional<std::string> read_document(const std::string& path) {
        std::optional<std::string> text;
        try {
            text = read_store_file(options_.store_dir / path);
            if (!text) {
                problem(path + ": missing");
                return std::nullopt;
            }
            ++summary_.documents;
            if (options_.pubkey_b64.empty()) {
                return text;
            }
            const std::optional<std::string> signature = read_store_file(options_.store_dir / (path + ".sig"));
            if (!signature) {
                problem(path + ".sig: missing, so " + path + " cannot be trusted");
            } else if (!gu::patch::signature_holds(*text, *signature, options_.pubkey_b64)) {
                problem(path + ": its signature does not verify with the given key");
            }
        } catch (const std::runtime_error& e) {
            problem(path + ": " + e.what());
        }
        return text;
    }

    void check_documents() {
        const fs::path& store = options_.store_dir;
        std::set<std::string> current;
        for (const std::string& path : channel_paths(store)) {
            const std::optional<std::string> text = read_document(path);
            if (!text) {
                continue;
            }
            try {
                const gu::patch::Channel channel = gu::patch::parse_channel(*text);
                const std::vector<std::string> manifests = current_manifests(store, channel);
                current.insert(manifests.begin(), manifests.end());
                if (manifests.empty()) {
                    problem(path + ": names version \"" + channel.latest + "\", whose manifest is missing");
                }
            } catch (const gu::patch::ManifestError& e) {
                problem(path + ": " + e.what());
            }
        }
        for (const std::string& path : manifest_paths(store)) {
            const std::optional<std::string> text = read_document(path);
            if (text && (options_.all || current.count(path) != 0)) {
                add_manifest(path, *text);
            }
        }
        for (const std::string& path : pack_index_paths(store)) {
            const std::optional<std::string> text = read_document(path);
            if (text) {
                add_pack_index(path, *text);
            }
        }
    }

    void add_manifest(const std::string& path, const std::string& text) {
        try {
            const gu::patch::Manifest manifest = gu::patch::parse_manifest(text);
            gu::patch::validate_manifest(manifest, manifest.product, manifest.platform);
            ++summary_.manifests;
            for (const gu::patch::ManifestFile& file : manifest.files) {
                for (const gu::patch::ManifestChunk& chunk : file.chunks) {
                    if (is_chunk_name(chunk.h)) {
                        expected_.emplace(chunk.h, ExpectedChunk{chunk.n, chunk.z});
                    } else {
                        problem(path + ": chunk \"" + chunk.h + "\" of " + file.path + " is not a SHA-256 name");
                    }
                }
            }
        } catch (const gu::patch::ManifestError& e) {
            problem(path + ": " + e.what());
        }
    }

    void add_pack_index(const std::string& path, const std::string& text) {
        gu::patch::PackIndex index;
        try {
            index = gu::patch::parse_pack_index(text);
        } catch (const gu::patch::ManifestError& e) {
            problem(path + ": " + e.what());
            return;
        }
        std::vector<std::size_t> checks;
        for (const gu::patch::PackEntry& entry : index.packs) {
            const std::string pack_path = "v1/packs/" + entry.name;
            const auto known = pack_numbers_.emplace(pack_path, packs_.size());
            if (known.second) {
                packs_.push_back({pack_path, {}, {}});
            }
            packs_[known.first->second].entries.emplace_back(path, entry);
            checks.push_back(known.first->second);
        }
        for (const auto& [h, location] : index.chunks) {
            if (is_chunk_name(h)) {
                packs_[checks[location.pack]].ranges.push_back({location.offset, location.length, h, false});
            } else {
                problem(path + ": chunk \"" + h + "\" is not a SHA-256 name");
            }
        }
    }

    // Which object is checked with which pack range, and how many bytes there are to read.
    void plan_objects() {
        std::set<std::string> with_a_range;
        for (PackCheck& pack : packs_) {
            std::sort(pack.ranges.begin(), pack.ranges.end());
            pack.ranges.erase(std::unique(pack.ranges.begin(), pack.ranges.end()), pack.ranges.end());
            for (RangeCheck& range : pack.ranges) {
                range.checks_object = expected_.count(range.h) != 0 && with_a_range.insert(range.h).second;
            }
            summary_.ranges += pack.ranges.size();
            total_ += pack.entries.front().second.size;
        }
        for (const auto& [h, chunk] : expected_) {
            total_ += chunk.z;
            if (with_a_range.count(h) == 0) {
                loose_.push_back(h);
            }
        }
        // The largest jobs first, so that no thread is left with a large pack at the end.
        std::sort(packs_.begin(), packs_.end(), [](const PackCheck& a, const PackCheck& b) {
            return a.entries.front().second.size > b.entries.front().second.size;
        });
    }

    // Checks the chunk's own object; `bytes` receives its contents. Whether it is sound.
    bool check_object(const std::string& h, std::string& bytes) {
        const ExpectedChunk& chunk = expected_.at(h);
        const std::string path = gu::patch::chunk_path(h);
        advance(chunk.z);
        std::optional<std::string> object;
        try {
            object = read_store_file(options_.store_dir / path);
        } catch (const std::runtime_error& e) {
            problem(path + ": " + e.what());
            return false;
        }
        if (!object) {
            problem(path + ": missing");
            return false;
        }
        bytes = std::move(*object);
        ++chunk_objects_;
        bytes_read_ += bytes.size();
        const std::string trouble = content_problem(bytes, h, chunk.n);
        if (!trouble.empty()) {
            problem(path + ": " + trouble);
        }
        return trouble.empty();
    }

    void check_loose(std::size_t batch) {
        std::string bytes;
        const std::size_t end = std::min(loose_.size(), (batch + 1) * kChunkBatch);
        for (std::size_t i = batch * kChunkBatch; i < end; ++i) {
            check_object(loose_[i], bytes);
        }
    }

    // The chunk's size: from its manifest, or for a chunk that no checked manifest names, its frame header.
    std::optional<std::uint64_t> expected_size(const std::string& h, std::string_view stored) const {
        const auto known = expected_.find(h);
        if (known != expected_.end()) {
            return known->second.n;
        }
        const unsigned long long size = ZSTD_getFrameContentSize(stored.data(), stored.size());
        if (size == ZSTD_CONTENTSIZE_UNKNOWN || size == ZSTD_CONTENTSIZE_ERROR || size > kLargestUnnamedChunk) {
            return std::nullopt;
        }
        return size;
    }

    void check_range(const PackCheck& pack, const RangeCheck& range, std::string_view stored) {
        if (range.checks_object) {
            std::string object;
            if (check_object(range.h, object) && object == stored) {
                return; // the same bytes as a sound object
            }
        }
        const std::optional<std::uint64_t> n = expected_size(range.h, stored);
        const std::string trouble =
            n ? content_problem(stored, range.h, *n) : std::string("is not a zstd frame that records its size");
        if (!trouble.empty()) {
            problem(pack.path + ": " + describe(range) + " " + trouble);
        }
    }

    void check_pack(const PackCheck& pack) {
        const MappedPack file(options_.store_dir / pack.path);
        if (!file.problem().empty()) {
            problem(pack.path + ": " + file.problem());
            std::string object;
            for (const RangeCheck& range : pack.ranges) {
                if (range.checks_object) {
                    check_object(range.h, object);
                }
            }
            advance(pack.entries.front().second.size);
            return;
        }
        ++packs_checked_;
        bytes_read_ += file.size();
        gu::patch::Sha256 hash;
        std::uint64_t hashed = 0;
        for (const RangeCheck& range : pack.ranges) {
            if (range.length > file.size() || range.offset > file.size() - range.length) {
                problem(pack.path + ": " + describe(range) + " lies outside the pack (" + std::to_string(file.size()) +
                        " bytes)");
                continue;
            }
            const std::uint64_t end = range.offset + range.length;
            if (end > hashed) {
                hash.update(file.bytes(hashed, end - hashed));
                hashed = end;
            }
            check_range(pack, range, file.bytes(range.offset, range.length));
        }
        hash.update(file.bytes(hashed, file.size() - hashed));
        const gu::patch::Sha256Digest digest = hash.finish();
        const std::string sha = gu::patch::to_hex(digest.data(), digest.size());
        for (const auto& [index, entry] : pack.entries) {
            if (file.size() != entry.size) {
                problem(pack.path + ": holds " + std::to_string(file.size()) + " bytes, " + index + " says " +
                        std::to_string(entry.size));
            } else if (sha != entry.sha256) {
                problem(pack.path + ": its SHA-256 is " + sha + ", " + index + " says " + entry.sha256);
            }
        }
        advance(pack.entries.front().second.size);
    }

    const VerifyOptions& options_;
    const VerifyObserver& observer_;
    VerifySummary summary_;
    std::map<std::string, ExpectedChunk> expected_; // chunks of the checked manifests
    std::vector<PackCheck> packs_;
    std::map<std::string, std::size_t> pack_numbers_; // pack path -> position in packs_
    std::vector<std::string> loose_;                  // chunks checked without a pack range
    std::mutex mutex_;
    std::uint64_t total_ = 0;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> bytes_read_{0};
    std::atomic<std::uint64_t> chunk_objects_{0};
    std::atomic<std::uint64_t> packs_checked_{0};
};

} // namespace

VerifySummary verify_store(const VerifyOptions& options, const VerifyObserver& observer) {
    if (!fs::is_directory(options.store_dir / "v1")) {
        throw std::runtime_error(options.store_dir.u8string() + " holds no store (no v1 folder)");
    }
    return Verifier(options, observer).run();
}

} // namespace kyrstore
