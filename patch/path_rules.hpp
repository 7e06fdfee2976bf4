#pragma once
// Name rules for paths taken from signed store documents before they touch the disk.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace gu::patch {

// A manifest path must stay below the installation root: not empty, relative, "/" as the only
// separator, no ":" (drive letters, alternate streams), no empty segment and no ".." segment.
// A "." segment and ".." inside a longer segment are allowed. A NUL byte is refused as well: the
// file system would cut the name there, so "..\0x" would act as "..".
bool is_safe_relative_path(std::string_view path);

// A pack name is a single file name under "v1/packs/": not empty, no "/" or "\", and no ".." anywhere
// once it is at least two characters long; no NUL byte either.
bool is_safe_pack_name(std::string_view name);

// Why `path` cannot be a file of an installation, or an empty text when it can. The engine refuses a
// manifest that names such a path and the publisher a folder that holds one. Refused: what
// is_safe_relative_path refuses ("not a safe relative path"); a segment that Windows opens as a device
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 and the superscript COM/LPT, in any case,
// with or without an extension: "nul.txt" is NUL) or silently shortens (a trailing "." or blank, so that
// "a." would be "a"; the segment "." itself is fine); and the updater's own files (is_updater_file).
std::string installed_path_problem(std::string_view path);

// Whether `path` names a file that the updater keeps in an installation root: "patchstate.json",
// "patchstate.manifest.json", its signature "patchstate.manifest.json.sig" and the ".tmp" companion of
// each, ".update_done", the folders ".updstage" and ".updpacks" and everything below them, and any
// "*.updpart". Names are compared as Windows compares them (windows_key).
bool is_updater_file(std::string_view path);

// The name under which Windows knows the file at `path`: upper-cased as NTFS does (windows_upcase, so
// "Ä" and "ä" are one name, "ß" and "SS" are not), "." segments dropped. Every comparison of installed
// paths goes through it: clashes, dropped files, the running program, the updater's own files.
std::string windows_key(std::string_view path);

// Finds, one path at a time, paths that name the same file on Windows: equal keys (windows_key), or
// one naming a folder on the way to the other. Two entries for one file would have two writers race on
// one ".updpart".
class PathClashes {
public:
    struct Clash {
        std::size_t earlier;  // position of the earlier path among the paths added, from 0
        bool file_and_folder; // one of the two is a folder of the other
    };

    // Remembers `path` (one that installed_path_problem accepts) and tells which earlier path it clashes
    // with, if any.
    std::optional<Clash> add(std::string_view path);

private:
    std::unordered_map<std::string, std::size_t> files_;
    std::unordered_map<std::string, std::size_t> folders_; // folder key -> the first file below it
    std::size_t added_ = 0;
};

} // namespace gu::patch
