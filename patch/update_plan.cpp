#include "patch/update_plan.hpp"

#include "patch/file_hash.hpp"
#include "patch/hash_order.hpp"
#include "patch/local_path.hpp"
#include "patch/parallel_for.hpp"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kProgressEvery = 64;

// Remembers which parent folders exist: thousands of files share a few folders.
class FolderMemo {
public:
    explicit FolderMemo(const fs::path& root) : root_(root) {}

    bool parent_exists(const std::string& relative) {
        const std::size_t slash = relative.rfind('/');
        const std::string parent = slash == std::string::npos ? std::string() : relative.substr(0, slash);
        const auto found = known_.find(parent);
        if (found != known_.end()) {
            return found->second;
        }
        std::error_code ec;
        const bool exists = fs::is_directory(parent.empty() ? root_ : local_path(root_, parent), ec);
        known_.emplace(parent, exists);
        return exists;
    }

private:
    fs::path root_;
    std::unordered_map<std::string, bool> known_;
};

bool is_existing_file(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

std::optional<std::uint64_t> size_on_disk(const fs::path& path) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        return std::nullopt;
    }
    return size;
}

bool hashes_to(const fs::path& path, const std::string& sha256) {
    try {
        return sha256_hex_file(path) == sha256;
    } catch (const std::exception&) {
        return false;
    }
}

enum class PreserveMatch { none, present, missing };

enum class Decision { fetch, current, current_hashed, preserved };

PreserveMatch match_preserve(const std::vector<std::regex>& preserve, const std::string& relative,
                             bool parent_exists, const fs::path& target) {
    for (const std::regex& pattern : preserve) {
        if (!std::regex_match(relative, pattern)) {
            continue;
        }
        // A preserved file that is missing is downloaded; later patterns do not change that.
        return parent_exists && is_existing_file(target) ? PreserveMatch::present : PreserveMatch::missing;
    }
    return PreserveMatch::none;
}

} // namespace

std::regex glob_to_regex(const std::string& pattern) {
    static const std::string kSpecial = ".^$|()[]{}+?\\";
    std::string expression = "^";
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '*') {
            while (i + 1 < pattern.size() && pattern[i + 1] == '*') {
                ++i;
            }
            expression += ".*";
            continue;
        }
        if (kSpecial.find(c) != std::string::npos) {
            expression += '\\';
        }
        expression += c;
    }
    expression += '$';
    return std::regex(expression, std::regex::ECMAScript);
}

UpdatePlan plan_update(const Manifest& manifest, const PatchState& state, const fs::path& root,
                       const PlanProgress& plan_progress, const std::vector<std::string>& anchored) {
    UpdatePlan plan;
    std::vector<std::regex> preserve;
    preserve.reserve(manifest.preserve.size());
    for (const std::string& pattern : manifest.preserve) {
        preserve.push_back(glob_to_regex(pattern));
    }
    const std::unordered_set<std::string> anchored_set(anchored.begin(), anchored.end());
    FolderMemo folders(root);
    std::unordered_set<std::string> counted_chunks;
    const auto total = static_cast<unsigned>(manifest.files.size());

    // Decides one file. hash_matches is asked only where the rules need the file's hash.
    auto classify = [&](const ManifestFile& file, const std::function<bool()>& hash_matches) {
        const fs::path target = local_path(root, file.path);
        const bool parent_exists = folders.parent_exists(file.path);
        const auto known = state.files.find(file.path);
        if (anchored_set.count(file.path) != 0) {
            return parent_exists && is_existing_file(target) && hash_matches() ? Decision::current_hashed
                                                                               : Decision::fetch;
        }
        if (known != state.files.end() && known->second == file.sha256 && parent_exists &&
            size_on_disk(target) == file.size) {
            return Decision::current;
        }
        if (match_preserve(preserve, file.path, parent_exists, target) == PreserveMatch::present) {
            return Decision::preserved;
        }
        if (known == state.files.end() && parent_exists && is_existing_file(target) && hash_matches()) {
            return Decision::current_hashed;
        }
        return Decision::fetch;
    };

    auto apply = [&](const ManifestFile& file, Decision decision) {
        switch (decision) {
        case Decision::current:
            plan.current.push_back(file.path);
            break;
        case Decision::current_hashed:
            plan.current.push_back(file.path);
            plan.to_record.emplace_back(file.path, file.sha256);
            break;
        case Decision::preserved:
            plan.preserved.push_back(file.path);
            break;
        case Decision::fetch:
            plan.to_fetch.push_back(file);
            for (const ManifestChunk& chunk : file.chunks) {
                if (counted_chunks.insert(chunk.h).second) {
                    plan.download_bytes += chunk.z;
                }
            }
            break;
        }
    };

    // The files whose hash the rules need are hashed ahead on every core (an installation without patch
    // state is hashed whole), those big enough to hold one thread alone first, while the files are
    // decided in order.
    std::vector<std::size_t> to_hash;
    for (std::size_t i = 0; i < manifest.files.size(); ++i) {
        classify(manifest.files[i], [&] {
            to_hash.push_back(i);
            return false;
        });
    }
    std::vector<std::uint64_t> sizes;
    for (const std::size_t i : to_hash) {
        sizes.push_back(manifest.files[i].size);
    }
    const unsigned workers = cpu_workers();
    std::vector<char> matches(to_hash.size(), 0);
    WorkAhead hashing(hash_order(sizes, workers), workers, [&](std::size_t k) {
        const ManifestFile& file = manifest.files[to_hash[k]];
        matches[k] = hashes_to(local_path(root, file.path), file.sha256);
    });
    std::size_t hashed = 0;
    for (std::size_t i = 0; i < manifest.files.size(); ++i) {
        const bool needs_hash = hashed < to_hash.size() && to_hash[hashed] == i;
        if (needs_hash) {
            hashing.wait_for(hashed);
        }
        const bool match = needs_hash && matches[hashed] != 0;
        hashed += needs_hash ? 1 : 0;
        apply(manifest.files[i], classify(manifest.files[i], [match] { return match; }));
        if (plan_progress && (i + 1) % kProgressEvery == 0) {
            plan_progress(static_cast<unsigned>(i + 1), total);
        }
    }
    if (plan_progress) {
        plan_progress(total, total);
    }
    return plan;
}

} // namespace gu::patch
