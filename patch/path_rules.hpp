#pragma once
// Name rules for paths taken from signed store documents before they touch the disk.

#include <string>
#include <string_view>

namespace gu::patch {

// A manifest path must stay below the installation root: not empty, relative, "/" as the only
// separator, no ":" (drive letters, alternate streams), no empty segment and no ".." segment.
// A "." segment and ".." inside a longer segment are allowed. A NUL byte is refused as well: the
// file system would cut the name there, so "..\0x" would act as "..".
bool is_safe_relative_path(std::string_view path);

// A pack name is a single file name under "v1/packs/": not empty, no "/" or "\", and no ".." anywhere
// once it is at least two characters long; no NUL byte either.
bool is_safe_pack_name(std::string_view name);

// The path with ASCII letters in lower case: Windows takes names that differ only so for one file.
std::string fold_ascii_case(std::string_view path);

} // namespace gu::patch
