#include "support/valdra_main_encoder.hpp"

#include <algorithm>

namespace kyrtest {

namespace {

constexpr char kKeys[] = "Rk27W!p5";
constexpr std::size_t kAddressField = 32;

void putAddress(std::string& plain, std::size_t at, const std::string& address) {
    std::fill_n(plain.begin() + static_cast<std::ptrdiff_t>(at), kAddressField, '\0');
    plain.replace(at, std::min(address.size(), kAddressField), address, 0, kAddressField);
}

void putLittleEndian(std::string& plain, std::size_t at, std::uint32_t value, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        plain[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

} // namespace

std::uint8_t storedValdraByte(std::uint8_t plain, std::uint64_t offset) {
    const auto unshifted = static_cast<std::uint8_t>(plain - (0xF9 - 13 * static_cast<int>(offset % 256)));
    const auto swapped = static_cast<std::uint8_t>((unshifted << 4) | (unshifted >> 4));
    return static_cast<std::uint8_t>(swapped ^ static_cast<std::uint8_t>(kKeys[offset % 8]));
}

std::string encodeValdraMain(const ValdraMainLayout& layout) {
    std::string plain(layout.size, '\0');
    for (std::size_t p = 0; p < plain.size(); ++p) {
        plain[p] = static_cast<char>(0xA5 ^ (p * 7));
    }
    plain.replace(0, std::min(layout.magic.size(), plain.size()), layout.magic, 0, plain.size());
    if (layout.size >= 82) {
        putAddress(plain, 48, layout.addressA);
        putLittleEndian(plain, 80, layout.portA, 2);
    }
    if (layout.size >= 88) {
        const std::size_t end = layout.size;
        putLittleEndian(plain, end - 40, layout.flagB, 4);
        putLittleEndian(plain, end - 36, layout.portB, 4);
        putAddress(plain, end - 32, layout.addressB);
    }
    std::string stored(plain.size(), '\0');
    for (std::size_t p = 0; p < plain.size(); ++p) {
        stored[p] = static_cast<char>(storedValdraByte(static_cast<std::uint8_t>(plain[p]), p));
    }
    return stored;
}

} // namespace kyrtest
