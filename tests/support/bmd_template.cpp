#include "support/bmd_template.hpp"

namespace kyrtest {

namespace {

constexpr std::uint8_t kXor[3] = {0x5A, 0x3C, 0x96};

void appendMasked(std::string& out, const std::string& plain) {
    for (std::size_t i = 0; i < plain.size(); ++i) {
        out.push_back(static_cast<char>(static_cast<std::uint8_t>(plain[i]) ^ kXor[i % 3]));
    }
}

void appendNumber(std::string& plain, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        plain.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

std::string bmdTemplateBytes(const std::vector<TemplateRecord>& records) {
    std::string out;
    for (const TemplateRecord& record : records) {
        std::string header;
        appendNumber(header, record.id, 2);
        std::string name = record.name.substr(0, 32);
        name.resize(32, '\0');
        header += name;
        header.push_back(static_cast<char>(record.flags));
        header.push_back(static_cast<char>(record.sequence));
        for (const std::uint8_t setting : record.settings) {
            header.push_back(static_cast<char>(setting));
        }
        appendNumber(header, record.extra, 4);
        appendNumber(header, record.extra2, 2);
        header.push_back(static_cast<char>(record.extra3));
        const auto length = record.declaredLength.value_or(static_cast<std::uint16_t>(record.description.size()));
        appendNumber(header, length, 2);
        appendMasked(out, header);
        appendMasked(out, record.description);
    }
    return out;
}

} // namespace kyrtest
