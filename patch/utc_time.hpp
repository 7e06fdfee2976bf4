#pragma once
// Times in the store's documents: UTC as "YYYY-MM-DDTHH:MM:SSZ" (ISO 8601 without fraction or offset),
// counted in whole seconds since 1970-01-01T00:00:00Z. One fixed form, so a text read and written again
// is the same text, and the same on every platform (no time zone, no locale).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace gu::patch {

// The seconds that `text` names, or nullopt when it is not exactly of the form above or names no real
// time (a 13th month, February 30, 24:00:00).
std::optional<std::int64_t> parse_utc_time(std::string_view text);

// `seconds` in the form above; years 0 to 9999.
std::string utc_time_text(std::int64_t seconds);

// The system clock, in the same count.
std::int64_t utc_now_seconds();

} // namespace gu::patch
