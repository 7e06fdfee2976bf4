// Feeds arbitrary bytes to the ServerList.bmd reader (a file the game's patcher or the player may have put
// there), then writes the records back and reads them again: every record the reader accepts must survive
// the launcher's own writer.

#include "launcher/servers/server_list_bmd.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size); // exact size: ASan sees any overread
    const std::vector<launcher::BmdRecord> records = launcher::decodeBmdRecords(bytes);
    std::string rewritten;
    for (const launcher::BmdRecord& record : records) {
        launcher::appendBmdRecord(rewritten, record);
    }
    if (launcher::decodeBmdRecords(rewritten).size() != records.size()) {
        std::abort();
    }
    return 0;
}
