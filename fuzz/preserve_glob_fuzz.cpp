// The manifest's "preserve" patterns: glob_to_regex on arbitrary patterns, matched against paths made
// from them. Compiling never throws; a path made by replacing every run of "*" with any text ("/"
// included) matches; the pattern's own text with one more character does not match when the pattern has
// no "*", since every other character stands for itself.

#include "fuzz/fuzz_support.hpp"
#include "patch/update_plan.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

// Manifest paths and patterns are file paths; matching far longer texts only measures std::regex.
constexpr std::size_t kMaxPattern = 200;
constexpr std::size_t kMaxFill = 40;

// Control bytes cannot appear in Windows file names, and "." in an ECMAScript expression stops at line
// breaks, so the text put in place of a "*" keeps to the bytes a game file's path can hold.
std::string file_name_text(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = '_';
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string pattern = input.ConsumeRandomLengthString(kMaxPattern);
    std::regex expression;
    try {
        expression = gu::patch::glob_to_regex(pattern);
    } catch (const std::regex_error&) {
        std::abort();
    }

    std::string path;
    bool wildcard = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '*') {
            path += pattern[i];
            continue;
        }
        wildcard = true;
        while (i + 1 < pattern.size() && pattern[i + 1] == '*') {
            ++i;
        }
        path += file_name_text(input.ConsumeRandomLengthString(kMaxFill));
    }
    kyrfuzz::require(std::regex_match(path, expression));
    if (!wildcard) {
        kyrfuzz::require(!std::regex_match(pattern + input.ConsumeIntegral<char>(), expression));
    }
    return 0;
}
