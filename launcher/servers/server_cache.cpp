#include "launcher/servers/server_cache.hpp"

#include "launcher/shell/file_replace.hpp"

#include <cstdio>

namespace launcher {

bool readTextFile(const std::string& path, std::string& text, std::size_t limit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    text.clear();
    char block[8192];
    bool ok = true;
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, file);
        if (got > limit - text.size()) {
            ok = false;
            break;
        }
        text.append(block, got);
        if (got < sizeof block) {
            // Opening a folder succeeds on some systems; reading it then sets the error flag.
            ok = std::ferror(file) == 0;
            break;
        }
    }
    std::fclose(file);
    return ok;
}

bool saveServerCache(const std::string& path, const std::string& body) {
    if (body.empty()) {
        return false;
    }
    return writeFileReplacing(path, body, false) == ReplaceWriteResult::Written;
}

} // namespace launcher
