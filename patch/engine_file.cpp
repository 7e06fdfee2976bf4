#include "patch/engine_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"
#include "patch/link_test.hpp"

#include <system_error>

namespace gu::patch {

namespace fs = std::filesystem;

namespace {

// Whoever keeps planting links under the name as fast as they go is not worth waiting for.
constexpr int kCreateAttempts = 3;

} // namespace

std::FILE* create_file_anew(const fs::path& path) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        bool exists = false;
        if (std::FILE* file = detail::create_exclusively(path, exists)) {
            return file;
        }
        if (!exists || !detail::remove_file_or_link(path)) {
            return nullptr;
        }
    }
    return nullptr;
}

void make_engine_folder(const fs::path& path) {
    const auto fail = [&](const std::string& reason) {
        throw LocalWriteError("cannot create " + path_text(path) + ": " + reason);
    };
    std::error_code ec;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
    }
    if (is_link(path) && !detail::remove_file_or_link(path)) {
        fail("a link lies under its name and cannot be removed");
    }
    fs::create_directory(path, ec);
    if (ec) {
        fail(ec.message());
    }
    // create_directory is content with a link to a folder that was planted after the removal.
    if (is_link(path)) {
        fail("a link was planted under its name");
    }
}

} // namespace gu::patch
