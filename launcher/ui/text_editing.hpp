#pragma once
// Typing into the server panel's two fields. Characters arrive as UTF-16 code units (WM_CHAR of a
// Unicode window); the search text is kept as UTF-8, the access code as ASCII.

#include <cstddef>
#include <string>

namespace launcher {

inline constexpr std::size_t kSearchTextLimit = 40; // bytes of UTF-8
inline constexpr std::size_t kAccessCodeTypingLimit = 32;

inline constexpr unsigned kBackspace = 8;

// Backspace in the search field: drops the last byte together with up to three continuation bytes
// before it, so a whole UTF-8 sequence goes at once. False when the text was empty.
bool eraseLastSearchCharacter(std::string& search);

// Appends a typed character to the search text as one to three bytes of UTF-8, unless the text would
// pass kSearchTextLimit. Control characters below 32, DEL and surrogate halves are ignored. True when
// the text changed.
bool typeSearchCharacter(std::string& search, unsigned unit);

// Appends an ASCII letter, digit, "-", "_" or "." while the code is shorter than 32 characters; every
// other character is ignored. True when the code changed.
bool typeAccessCodeCharacter(std::string& code, unsigned unit);

// Backspace in the access code field. False when the code was empty.
bool eraseLastAccessCodeCharacter(std::string& code);

} // namespace launcher
