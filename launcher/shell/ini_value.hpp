#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace launcher {

// Limits a value of launcher.ini before it is stored or used: keeps ASCII letters (lower-cased unless
// keepCase), digits, "-", "_", "." and the ASCII signs of alsoKept, drops every other byte (non-ASCII bytes
// vanish whole rather than being cut into pieces), and stops at `limit` characters.
std::string sanitizeIniValue(std::string_view text, std::size_t limit, bool keepCase, std::string_view alsoKept = {});

} // namespace launcher
