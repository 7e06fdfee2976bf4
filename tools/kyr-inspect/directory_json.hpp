#pragma once

#include "launcher/servers/server_directory.hpp"

#include <string>
#include <string_view>

namespace inspect {

// Appends bytes as a JSON string. Valid UTF-8 is kept; quotes, backslashes and control bytes are escaped;
// a byte that is not part of a valid UTF-8 sequence becomes \u00XX with its value, so the output is valid
// JSON and still shows what the input held.
void appendJsonString(std::string& out, std::string_view bytes);

// The whole directory, every field of every server, endpoint and channel, as indented JSON.
std::string directoryToJson(const launcher::ServerDirectory& directory);

} // namespace inspect
