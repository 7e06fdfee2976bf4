#pragma once

#include <string>
#include <string_view>

namespace inspect {

// A ServerList.bmd file's bytes decoded the way the launcher reads a template: its size and stamp, the
// bytes left after the last record taken, and every record with all its fields as indented JSON. Each
// description is shown as stored, its terminating zero byte included.
std::string bmdToJson(std::string_view fileBytes);

} // namespace inspect
