#include "patch/windows_case.hpp"

#include "patch/utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace gu::patch {
namespace {

// A run of code points that upper-case by adding `delta`: every one from `first` to `last`, or with
// `every_second` only first, first + 2, ... (the lower-case halves of alternating upper/lower pairs).
struct UpcaseRun {
    std::uint16_t first;
    std::uint16_t last;
    std::int16_t delta;
    bool every_second;
};

constexpr bool kPairs = true;
constexpr bool kAll = false;

// The default $UpCase of NTFS volumes formatted by Windows Vista and later beyond ASCII (which
// windows_upcase folds itself), sorted and without overlaps.
// Code points missing here upper-case to themselves; among them, unlike Unicode's own mapping: "ß"
// U+00DF, micro sign U+00B5, dotless "ı" U+0131, long "ſ" U+017F and the Greek symbol forms "ϐ" U+03D0,
// "ϑ" U+03D1, "ϕ" U+03D5, "ϖ" U+03D6.
constexpr UpcaseRun kUpcaseRuns[] = {
    {0x00e0, 0x00f6, -32, kAll},  {0x00f8, 0x00fe, -32, kAll},   {0x00ff, 0x00ff, 121, kAll},
    {0x0101, 0x012f, -1, kPairs}, {0x0133, 0x0137, -1, kPairs},  {0x013a, 0x0148, -1, kPairs},
    {0x014b, 0x0177, -1, kPairs}, {0x017a, 0x017e, -1, kPairs},  {0x0180, 0x0180, 195, kAll},
    {0x0183, 0x0185, -1, kPairs}, {0x0188, 0x0188, -1, kAll},    {0x018c, 0x018c, -1, kAll},
    {0x0192, 0x0192, -1, kAll},   {0x0195, 0x0195, 97, kAll},    {0x0199, 0x0199, -1, kAll},
    {0x019a, 0x019a, 163, kAll},  {0x019e, 0x019e, 130, kAll},   {0x01a1, 0x01a5, -1, kPairs},
    {0x01a8, 0x01a8, -1, kAll},   {0x01ad, 0x01ad, -1, kAll},    {0x01b0, 0x01b0, -1, kAll},
    {0x01b4, 0x01b6, -1, kPairs}, {0x01b9, 0x01b9, -1, kAll},    {0x01bd, 0x01bd, -1, kAll},
    {0x01bf, 0x01bf, 56, kAll},   {0x01c6, 0x01c6, -2, kAll},    {0x01c9, 0x01c9, -2, kAll},
    {0x01cc, 0x01cc, -2, kAll},   {0x01ce, 0x01dc, -1, kPairs},  {0x01dd, 0x01dd, -79, kAll},
    {0x01df, 0x01ef, -1, kPairs}, {0x01f3, 0x01f3, -2, kAll},    {0x01f5, 0x01f5, -1, kAll},
    {0x01f9, 0x021f, -1, kPairs}, {0x0223, 0x0233, -1, kPairs},  {0x023a, 0x023a, 10795, kAll},
    {0x023c, 0x023c, -1, kAll},   {0x023e, 0x023e, 10792, kAll}, {0x0242, 0x0242, -1, kAll},
    {0x0247, 0x024f, -1, kPairs}, {0x0253, 0x0253, -210, kAll},  {0x0254, 0x0254, -206, kAll},
    {0x0256, 0x0257, -205, kAll}, {0x0259, 0x0259, -202, kAll},  {0x025b, 0x025b, -203, kAll},
    {0x0260, 0x0260, -205, kAll}, {0x0263, 0x0263, -207, kAll},  {0x0268, 0x0268, -209, kAll},
    {0x0269, 0x0269, -211, kAll}, {0x026b, 0x026b, 10743, kAll}, {0x026f, 0x026f, -211, kAll},
    {0x0272, 0x0272, -213, kAll}, {0x0275, 0x0275, -214, kAll},  {0x027d, 0x027d, 10727, kAll},
    {0x0280, 0x0280, -218, kAll}, {0x0283, 0x0283, -218, kAll},  {0x0288, 0x0288, -218, kAll},
    {0x0289, 0x0289, -69, kAll},  {0x028a, 0x028b, -217, kAll},  {0x028c, 0x028c, -71, kAll},
    {0x0292, 0x0292, -219, kAll}, {0x037b, 0x037d, 130, kAll},   {0x03ac, 0x03ac, -38, kAll},
    {0x03ad, 0x03af, -37, kAll},  {0x03b1, 0x03c1, -32, kAll},   {0x03c2, 0x03c2, -31, kAll},
    {0x03c3, 0x03cb, -32, kAll},  {0x03cc, 0x03cc, -64, kAll},   {0x03cd, 0x03ce, -63, kAll},
    {0x03d9, 0x03ef, -1, kPairs}, {0x03f2, 0x03f2, 7, kAll},     {0x03f8, 0x03f8, -1, kAll},
    {0x03fb, 0x03fb, -1, kAll},   {0x0430, 0x044f, -32, kAll},   {0x0450, 0x045f, -80, kAll},
    {0x0461, 0x0481, -1, kPairs}, {0x048b, 0x04bf, -1, kPairs},  {0x04c2, 0x04ce, -1, kPairs},
    {0x04cf, 0x04cf, -15, kAll},  {0x04d1, 0x0513, -1, kPairs},  {0x0561, 0x0586, -48, kAll},
    {0x1d7d, 0x1d7d, 3814, kAll}, {0x1e01, 0x1e95, -1, kPairs},  {0x1ea1, 0x1ef9, -1, kPairs},
    {0x1f00, 0x1f07, 8, kAll},    {0x1f10, 0x1f15, 8, kAll},     {0x1f20, 0x1f27, 8, kAll},
    {0x1f30, 0x1f37, 8, kAll},    {0x1f40, 0x1f45, 8, kAll},     {0x1f51, 0x1f57, 8, kPairs},
    {0x1f60, 0x1f67, 8, kAll},    {0x1f70, 0x1f71, 74, kAll},    {0x1f72, 0x1f75, 86, kAll},
    {0x1f76, 0x1f77, 100, kAll},  {0x1f78, 0x1f79, 128, kAll},   {0x1f7a, 0x1f7b, 112, kAll},
    {0x1f7c, 0x1f7d, 126, kAll},  {0x1f80, 0x1f87, 8, kAll},     {0x1f90, 0x1f97, 8, kAll},
    {0x1fa0, 0x1fa7, 8, kAll},    {0x1fb0, 0x1fb1, 8, kAll},     {0x1fb3, 0x1fb3, 9, kAll},
    {0x1fcc, 0x1fcc, -9, kAll},   {0x1fd0, 0x1fd1, 8, kAll},     {0x1fe0, 0x1fe1, 8, kAll},
    {0x1fe5, 0x1fe5, 7, kAll},    {0x1ffc, 0x1ffc, -9, kAll},    {0x214e, 0x214e, -28, kAll},
    {0x2170, 0x217f, -16, kAll},  {0x2184, 0x2184, -1, kAll},    {0x24d0, 0x24e9, -26, kAll},
    {0x2c30, 0x2c5e, -48, kAll},  {0x2c61, 0x2c61, -1, kAll},    {0x2c68, 0x2c6c, -1, kPairs},
    {0x2c76, 0x2c76, -1, kAll},   {0x2c81, 0x2ce3, -1, kPairs},  {0x2d00, 0x2d25, -7264, kAll},
    {0xff41, 0xff5a, -32, kAll},
};

char32_t upcase(char32_t c) {
    const auto run = std::upper_bound(std::begin(kUpcaseRuns), std::end(kUpcaseRuns), c,
                                      [](char32_t value, const UpcaseRun& r) { return value < r.first; });
    if (run == std::begin(kUpcaseRuns)) {
        return c;
    }
    const UpcaseRun& r = *std::prev(run);
    if (c > r.last || (r.every_second && (c - r.first) % 2 != 0)) {
        return c;
    }
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + r.delta);
}

void append_utf8(char32_t c, std::string& out) {
    if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
    } else {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    }
    out += static_cast<char>(0x80 | (c & 0x3f));
}

} // namespace

std::string windows_upcase(std::string_view text) {
    std::string upper;
    upper.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char byte = text[i];
        if (static_cast<unsigned char>(byte) < 0x80) {
            upper += byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte;
            ++i;
            continue;
        }
        char32_t code_point = 0;
        const std::size_t length = utf8_decode(text.substr(i), code_point);
        if (length == 0) {
            upper += byte;
            ++i;
            continue;
        }
        const char32_t mapped = upcase(code_point);
        if (mapped == code_point) {
            upper.append(text.substr(i, length));
        } else {
            append_utf8(mapped, upper);
        }
        i += length;
    }
    return upper;
}

} // namespace gu::patch
