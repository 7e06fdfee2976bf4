#pragma once
// Data\Local\valdra.main, the server file that the game client carries: the last fallback for the server
// directory. The launcher only reads it; every byte is stored transformed.

#include "launcher/servers/server_directory.hpp"

#include <cstddef>
#include <cstdint>
#include <string>

namespace launcher {

// Bytes 0 to 7 are the transform's keys, bytes 8 to 15 the file's magic.
inline constexpr char kClientServerConstant[] = "Rk27W!p5RK27Core";
inline constexpr std::size_t kClientServerMinSize = 128;
inline constexpr int kClientServerDefaultPort = 44000;

// The plain byte of the byte stored at absolute file offset `offset`.
std::uint8_t plainClientByte(std::uint8_t stored, std::uint64_t offset);

// Turns bytes read from absolute file offset `offset` into their plain form, in place.
void decodeClientBytes(std::string& bytes, std::uint64_t offset);

// Builds the client's servers (at most two, "valdra-2" first) from folder + "\Data\Local\valdra.main".
// The directory's servers are emptied, schema becomes 1 and fromClient true whatever the outcome; false
// when the file is missing, shorter than 128 bytes, has another magic or names no dotted-quad address.
bool loadClientServerList(const std::string& folder, ServerDirectory& directory);

} // namespace launcher
