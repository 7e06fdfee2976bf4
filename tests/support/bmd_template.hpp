#pragma once
// Writes ServerList.bmd files for tests in the game's layout, written here from the format alone so that
// the launcher's own record writer is checked against something it does not share, and so that tests
// never need a file from a real game client.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kyrtest {

struct TemplateRecord {
    std::uint16_t id = 0;
    std::string name; // raw bytes of the 32-byte name field; longer names are cut to 32
    std::uint8_t flags = 0;
    std::uint8_t sequence = 0;
    std::array<std::uint8_t, 8> settings = {};
    std::uint32_t extra = 0;
    std::uint16_t extra2 = 0;
    std::uint8_t extra3 = 0;
    std::string description; // raw description bytes, written as given (add the zero byte yourself)
    // The description length to declare instead of the real one (a record running past the end, or one
    // with the top bit of the length set).
    std::optional<std::uint16_t> declaredLength;
};

std::string bmdTemplateBytes(const std::vector<TemplateRecord>& records);

} // namespace kyrtest
