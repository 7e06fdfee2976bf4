#pragma once
// Where kyr-patch reads a store: a web server (http://, https://) through the curl fetcher, or a folder
// (a plain path or a file:/// URL: a copy of the store on a disk or a LAN share) through the folder
// fetcher, which needs no network library.

#include "patch/fetcher.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace kyrpatch {

struct StoreSource {
    enum class Kind { http, folder };
    Kind kind = Kind::http;
    std::string location; // the URL as given, or the folder (a file URL decoded to its path)
};

// The value of one --store option. Throws UsageError for an empty value, another URL scheme, or a file
// URL that names a host.
StoreSource parse_store_source(const std::string& text);

// The fetcher of a store; ca_file adds trusted certificates for HTTPS, and a web store's downloads fail
// after idle_timeout_ms without data (the run configuration's). Throws UsageError for a web store in a
// build without the curl fetcher (the static 32-bit one has no libcurl).
std::unique_ptr<gu::patch::Fetcher> make_store_fetcher(const StoreSource& source, const std::string& ca_file,
                                                       std::uint32_t idle_timeout_ms);

} // namespace kyrpatch
