#include "tools/kyr-patch/store_source.hpp"

#include "patch/folder_fetcher.hpp"
#include "tools/kyr-patch/command_line.hpp"

#ifdef KYR_HAVE_CURL
#include "patch/curl_fetcher.hpp"
#endif

#include <algorithm>
#include <cctype>

namespace kyrpatch {
namespace {

bool starts_with_scheme(const std::string& text, const std::string& scheme) {
    return text.size() >= scheme.size() &&
           std::equal(scheme.begin(), scheme.end(), text.begin(),
                      [](char want, char c) { return want == std::tolower(static_cast<unsigned char>(c)); });
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// The path of a file URL with its %XX escapes decoded ("file:///srv/My%20Store/" names "/srv/My Store/").
std::string file_url_path(const std::string& url) {
    std::string rest = url.substr(std::string("file://").size());
    if (starts_with_scheme(rest, "localhost/")) {
        rest.erase(0, std::string("localhost").size());
    }
    if (rest.empty() || rest[0] != '/') {
        throw UsageError("a file URL needs an absolute path and no host (file:///folder/), not \"" + url + "\"");
    }
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? hex_value(rest[i + 1]) : -1;
        const int low = i + 2 < rest.size() ? hex_value(rest[i + 2]) : -1;
        if (high < 0 || low < 0) {
            throw UsageError("bad %-escape in \"" + url + "\"");
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return path;
}

} // namespace

StoreSource parse_store_source(const std::string& text) {
    if (text.empty()) {
        throw UsageError("--store needs a URL or a folder");
    }
    if (starts_with_scheme(text, "http://") || starts_with_scheme(text, "https://")) {
        return {StoreSource::Kind::http, text};
    }
    if (starts_with_scheme(text, "file://")) {
        return {StoreSource::Kind::folder, file_url_path(text)};
    }
    if (text.find("://") != std::string::npos) {
        throw UsageError("unsupported store URL \"" + text + "\": use http://, https://, file:/// or a folder");
    }
    return {StoreSource::Kind::folder, text};
}

std::unique_ptr<gu::patch::Fetcher> make_store_fetcher(const StoreSource& source, const std::string& ca_file,
                                                       std::uint32_t idle_timeout_ms) {
    if (source.kind == StoreSource::Kind::folder) {
        return std::make_unique<gu::patch::FolderFetcher>(source.location);
    }
#ifdef KYR_HAVE_CURL
    gu::patch::CurlFetcherOptions options;
    options.ca_file = ca_file;
    options.idle_timeout_ms = static_cast<long>(idle_timeout_ms);
    return std::make_unique<gu::patch::CurlFetcher>(source.location, options);
#else
    (void)ca_file;
    (void)idle_timeout_ms;
    throw UsageError("this kyr-patch was built without libcurl and reads stores from folders only (--store DIR "
                     "or file:///DIR/), not \"" +
                     source.location + "\"");
#endif
}

} // namespace kyrpatch
