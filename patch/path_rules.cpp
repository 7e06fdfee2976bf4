#include "patch/path_rules.hpp"

namespace gu::patch {
namespace {

constexpr std::string_view kRefusedInPath(":\\\0", 3);
constexpr std::string_view kRefusedInPackName("/\\\0", 3);

} // namespace

bool is_safe_relative_path(std::string_view path) {
    if (path.empty() || path.find_first_of(kRefusedInPath) != std::string_view::npos) {
        return false;
    }
    // A leading, trailing or doubled "/" shows up as an empty segment.
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string_view segment =
            path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (segment.empty() || segment == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

bool is_safe_pack_name(std::string_view name) {
    if (name.empty() || name.find_first_of(kRefusedInPackName) != std::string_view::npos) {
        return false;
    }
    return name.find("..") == std::string_view::npos;
}

std::string fold_ascii_case(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

} // namespace gu::patch
