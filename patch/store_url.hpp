#pragma once
// How the HTTP fetchers name an object: a store path below the source's base URL.

#include <string>

namespace gu::patch {

// The base URL as the fetchers keep it: always ending in "/" (an empty base becomes "/").
inline std::string store_base_url(std::string base) {
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    return base;
}

// An empty path names the base itself; a path holding "://" is an absolute URL and is used as it is;
// anything else follows the base directly (store paths never start with "/").
inline std::string resolve_store_url(const std::string& base, const std::string& path) {
    if (path.empty()) {
        return base;
    }
    if (path.size() >= 3 && path.find("://") != std::string::npos) {
        return path;
    }
    return base + path;
}

} // namespace gu::patch
