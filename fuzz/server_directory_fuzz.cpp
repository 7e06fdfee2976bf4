// Feeds arbitrary bytes to the server directory reader. The input is copied into a heap block of exactly
// its size, so AddressSanitizer reports any read past the end of the text.

#include "launcher/servers/json_scanner.hpp"
#include "launcher/servers/server_directory.hpp"
#include "launcher/servers/text_rules.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

void scanValue(const launcher::JsonScanner& json, launcher::JsonSpan span) {
    std::string text;
    int number = 0;
    json.decodeString(span, text);
    json.readInt(span, "a", number);
    json.readText(span, "a", text);
    launcher::JsonSpan inner;
    for (int i = 0; i < 4 && json.arrayElement(span, i, inner); ++i) {
        json.decodeString(inner, text);
    }
    if (json.findMember(span, "servers", inner)) {
        json.arrayElement(inner, 0, inner);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> block(new char[size]);
    if (size > 0) {
        std::memcpy(block.get(), data, size);
    }
    const std::string_view text(block.get(), size);

    launcher::ServerDirectory directory;
    std::string error;
    if (launcher::parseServerDirectory(text, directory, &error)) {
        launcher::sortServers(directory.servers);
        launcher::findServer(directory, directory.servers.back().slug);
    }

    const launcher::JsonScanner json(text);
    // Every start offset near the front, with ends exactly at, before and beyond the text's end.
    const std::size_t starts = size < 64 ? size + 1 : 64;
    for (std::size_t start = 0; start < starts; ++start) {
        std::size_t end = 0;
        json.skipString(start, end);
        if (json.valueEnd(start, end)) {
            scanValue(json, {json.skipSpace(start), end});
        }
        scanValue(json, {start, size});
        scanValue(json, {start, size + 16});
        scanValue(json, {start, start + size / 2});
    }

    launcher::cleanText(text, 40);
    launcher::cleanText(text, size / 2);
    launcher::isIPv4Literal(text);
    return 0;
}
