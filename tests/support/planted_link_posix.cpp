#include "support/planted_link.hpp"

namespace kyrtest {

PlantedLink plant_link(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::error_code ec;
    std::filesystem::create_symlink(target, link, ec);
    return ec ? PlantedLink::none : PlantedLink::removable;
}

bool file_links_show() {
    return true;
}

void remove_planted_link(const std::filesystem::path& link) {
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
}

} // namespace kyrtest
