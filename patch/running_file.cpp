#include "patch/running_file.hpp"

#include "patch/link_test.hpp"

#include <stdexcept>
#include <string>
#include <system_error>

namespace gu::patch {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(std::string_view prefix, const fs::path& to, const std::error_code& ec) {
    std::string message(prefix);
    message += path_text(to);
    message += ": ";
    message += ec.message();
    throw std::runtime_error(message);
}

} // namespace

fs::path aside_path(const fs::path& running) {
    return with_suffix(running, ".old");
}

void replace_running_file(const fs::path& from, const fs::path& to, std::string_view failure_prefix,
                          const FileMover& mover) {
    const fs::path aside = aside_path(to);
    std::error_code ec;
    const bool present = fs::exists(to, ec) || is_link(to); // a link whose target is gone is there too
    if (present) {
        fs::remove(aside, ec); // a leftover of an earlier update; if it cannot go, the move below says why
        mover.rename(to, aside, ec);
        if (ec) {
            fail(failure_prefix, to, ec);
        }
    }
    mover.rename(from, to, ec);
    if (ec) {
        std::error_code ignored;
        if (present) {
            mover.rename(aside, to, ignored);
        }
        fail(failure_prefix, to, ec);
    }
}

} // namespace gu::patch
