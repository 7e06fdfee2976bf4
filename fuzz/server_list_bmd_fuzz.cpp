// Feeds arbitrary bytes to the ServerList.bmd reader (a file the game's patcher or the player may have put
// there), then writes the records back with the launcher's writer and reads them again. Every record
// survives: the same count, the fields carried over from the template unchanged, the name a prefix of
// itself (when it fits the 31 bytes the writer keeps, short only by blanks and broken UTF-8 at its end,
// which reading the name cleans off again), and the description whole without its trailing zero bytes
// plus one zero when it fits 250 bytes (otherwise a prefix of that, cut at most by one UTF-8 sequence).

#include "fuzz/fuzz_support.hpp"
#include "launcher/servers/server_list_bmd.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string without_trailing_zeros(std::string text) {
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

void check_survives(const launcher::BmdRecord& read, const launcher::BmdRecord& again) {
    kyrfuzz::require(again.id == read.id && again.flags == read.flags && again.sequence == read.sequence);
    kyrfuzz::require(again.settings == read.settings && again.extra == read.extra && again.extra2 == read.extra2 &&
                     again.extra3 == read.extra3);

    kyrfuzz::require(starts_with(read.name, again.name));
    if (read.name.size() <= launcher::kBmdNameLimit) {
        for (std::size_t i = again.name.size(); i < read.name.size(); ++i) {
            kyrfuzz::require(read.name[i] == ' ' || static_cast<unsigned char>(read.name[i]) >= 0x80);
        }
    }

    const std::string text = without_trailing_zeros(read.description);
    kyrfuzz::require(!again.description.empty() && again.description.back() == '\0');
    const std::string_view kept(again.description.data(), again.description.size() - 1);
    if (text.size() <= launcher::kBmdDescriptionLimit) {
        kyrfuzz::require(kept == text);
    } else {
        kyrfuzz::require(starts_with(text, kept) && kept.size() + 3 >= launcher::kBmdDescriptionLimit &&
                         kept.size() <= launcher::kBmdDescriptionLimit);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size); // exact size: ASan sees any overread
    const std::vector<launcher::BmdRecord> records = launcher::decodeBmdRecords(bytes);
    kyrfuzz::require(records.size() <= launcher::kBmdMaxRecords);
    std::string rewritten;
    for (const launcher::BmdRecord& record : records) {
        launcher::appendBmdRecord(rewritten, record);
    }
    const std::vector<launcher::BmdRecord> again = launcher::decodeBmdRecords(rewritten);
    kyrfuzz::require(again.size() == records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        check_survives(records[i], again[i]);
    }
    return 0;
}
