// base64_decode on arbitrary text: it must never crash or read out of bounds, and its output is exactly
// three bytes per four alphabet characters (rounded down), or empty when any character is not allowed.

#include "patch/base64.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t alphabet = 0;
    bool rejected = false;
    for (const char c : text) {
        if (c != '\0' && std::strchr(kAlphabet, c) != nullptr) {
            ++alphabet;
        } else if (std::strchr("=\n\r \t", c) == nullptr || c == '\0') {
            rejected = true;
        }
    }
    const std::size_t decoded = gu::patch::base64_decode(text).size();
    if (decoded > alphabet * 3 / 4 || (!rejected && decoded != alphabet * 3 / 4) || (rejected && decoded != 0)) {
        __builtin_trap();
    }
    return 0;
}
