// sanitizeIniValue on arbitrary launcher.ini text with an arbitrary limit and case rule. What it returns
// must be safe to store and stable: at most `limit` characters, only letters, digits, "-", "_" and ".",
// no capitals unless the case is kept, the input's kept characters in their order (none invented), the
// two case rules agreeing up to case, and a second pass changing nothing.

#include "fuzz/fuzz_support.hpp"
#include "launcher/shell/ini_value.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool allowed(char c, bool keepCase) {
    return (c >= 'a' && c <= 'z') || (keepCase && c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

// Whether `part` is `whole` with some characters left out, compared after `fold`.
template <typename Fold> bool is_subsequence(const std::string& part, const std::string& whole, Fold fold) {
    std::size_t at = 0;
    for (const char c : whole) {
        if (at < part.size() && fold(part[at]) == fold(c)) {
            ++at;
        }
    }
    return at == part.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t limit = input.ConsumeIntegralInRange<std::size_t>(0, 80);
    const bool keepCase = input.ConsumeBool();
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::string value = launcher::sanitizeIniValue(text, limit, keepCase);
    kyrfuzz::require(value.size() <= limit);
    for (const char c : value) {
        kyrfuzz::require(allowed(c, keepCase));
    }
    if (keepCase) {
        kyrfuzz::require(is_subsequence(value, text, [](char c) { return c; }));
    } else {
        kyrfuzz::require(is_subsequence(value, text, lower));
    }
    kyrfuzz::require(launcher::sanitizeIniValue(value, limit, keepCase) == value);

    const std::string kept = launcher::sanitizeIniValue(text, limit, true);
    const std::string folded = launcher::sanitizeIniValue(text, limit, false);
    kyrfuzz::require(kept.size() == folded.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
        kyrfuzz::require(lower(kept[i]) == folded[i]);
    }
    return 0;
}
