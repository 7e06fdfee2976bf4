#include "tools/kyr-patch/store_source.hpp"

#include "tools/kyr-patch/command_line.hpp"

#include <gtest/gtest.h>

namespace {

using kyrpatch::parse_store_source;
using kyrpatch::StoreSource;

// "web <location>", "folder <location>" or "usage: <message>".
std::string describe(const std::string& text) {
    try {
        const StoreSource source = parse_store_source(text);
        return (source.kind == StoreSource::Kind::http ? "web " : "folder ") + source.location;
    } catch (const kyrpatch::UsageError& e) {
        return std::string("usage: ") + e.what();
    }
}

TEST(StoreSource, WebUrlsFoldersAndFileUrls) {
    const struct {
        const char* name;
        std::string text;
        std::string want;
    } cases[] = {
        {"https", "https://cdn.example/kyr/", "web https://cdn.example/kyr/"},
        {"scheme in capitals", "HTTP://127.0.0.1:8080/", "web HTTP://127.0.0.1:8080/"},
        {"absolute folder", "/srv/kyr-store", "folder /srv/kyr-store"},
        {"relative folder", "kyr-store/", "folder kyr-store/"},
        {"file URL", "file:///srv/kyr-store/", "folder /srv/kyr-store/"},
        {"file URL of localhost", "file://localhost/srv/kyr-store", "folder /srv/kyr-store"},
        {"escapes decoded", "file:///srv/My%20Store/J%C3%b6rg", "folder /srv/My Store/J\xC3\xB6rg"},
        {"empty", "", "usage: --store needs a URL or a folder"},
        {"other scheme", "ftp://mirror/kyr/",
         "usage: unsupported store URL \"ftp://mirror/kyr/\": use http://, https://, file:/// or a folder"},
        {"file URL with a host", "file://nas/kyr/",
         "usage: a file URL needs an absolute path and no host (file:///folder/), not \"file://nas/kyr/\""},
        {"file URL without a path", "file://",
         "usage: a file URL needs an absolute path and no host (file:///folder/), not \"file://\""},
        {"escape cut short", "file:///srv/a%2", "usage: bad %-escape in \"file:///srv/a%2\""},
        {"escape not hex", "file:///srv/a%zz", "usage: bad %-escape in \"file:///srv/a%zz\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(c.text), c.want);
    }
}

} // namespace
