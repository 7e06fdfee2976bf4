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

// A name to move the file at `to` onto: free, or freed by removing an earlier update's leftover. After a
// self-update in a run that then failed, the usual name holds this very process's image, which Windows
// neither deletes nor lets be replaced: another name is taken then.
fs::path free_aside_path(const fs::path& to) {
    for (int n = 1; n <= kAsideNames; ++n) {
        const fs::path aside = aside_path(to, n);
        std::error_code ec;
        const bool free = !fs::exists(aside, ec) && !ec && !is_link(aside);
        if (free || (fs::remove(aside, ec) && !ec)) {
            return aside;
        }
    }
    return aside_path(to); // every name is held: the move onto it fails and says why
}

} // namespace

fs::path aside_path(const fs::path& running, int n) {
    return with_suffix(running, n == 1 ? std::string(".old") : ".old" + std::to_string(n));
}

void replace_running_file(const fs::path& from, const fs::path& to, std::string_view failure_prefix,
                          const FileMover& mover) {
    std::error_code ec;
    const bool present = fs::exists(to, ec) || is_link(to); // a link whose target is gone is there too
    const fs::path aside = present ? free_aside_path(to) : fs::path();
    if (present) {
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
    if (present && aside != aside_path(to)) {
        // The launcher's next start removes only the usual name; a file that no program runs goes now.
        fs::remove(aside, ec);
    }
}

} // namespace gu::patch
