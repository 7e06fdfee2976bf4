#include "patch/link_test.hpp"

#include "patch/local_path.hpp"

namespace gu::patch {

bool leads_through_link(const std::filesystem::path& root, std::string_view relative) {
    std::filesystem::path at = root;
    for (const std::filesystem::path& step : local_path({}, relative)) {
        at /= step;
        if (is_link(at)) {
            return true;
        }
    }
    return false;
}

} // namespace gu::patch
