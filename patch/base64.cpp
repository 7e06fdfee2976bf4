#include "patch/base64.hpp"

#include <array>
#include <cstdint>

namespace gu::patch {
namespace {

constexpr std::int8_t kSkip = -1;
constexpr std::int8_t kInvalid = -2;

constexpr std::array<std::int8_t, 256> make_decode_table() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) {
        entry = kInvalid;
    }
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    for (unsigned char c : {'=', '\n', '\r', ' ', '\t'}) {
        table[c] = kSkip;
    }
    return table;
}

constexpr std::array<std::int8_t, 256> kDecodeTable = make_decode_table();

} // namespace

std::string base64_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t accumulator = 0;
    int bits = -8;
    for (const char c : text) {
        const std::int8_t value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kSkip) {
            continue;
        }
        if (value == kInvalid) {
            return {};
        }
        // Only the low 14 bits are ever read back, so the accumulator may drop its older bits.
        accumulator = ((accumulator << 6) | static_cast<std::uint32_t>(value)) & 0xFFFFFFu;
        bits += 6;
        if (bits >= 0) {
            out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
            bits -= 8;
        }
    }
    return out;
}

} // namespace gu::patch
