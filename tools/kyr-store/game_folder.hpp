#pragma once
// The game folder as the publisher sees it: every regular file below it, by a relative "/" path that the
// engine accepts and that Windows can create. Anything that cannot be published faithfully is refused
// before a single object is written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kyrstore {

struct GameFile {
    std::string path; // relative, "/" separators, UTF-8
    std::filesystem::path source;
    std::uint64_t size = 0;
};

// Why a relative path cannot be published, or empty when it can: valid UTF-8, no control byte, none of
// < > : " \ | ? *, and the engine's own rule for installed files (installed_path_problem: a safe relative
// path, no device name, no segment ending in "." or " ", not one of the updater's files).
std::string unpublishable_path_reason(std::string_view path);

// Why a name (product, channel, platform, version) cannot be one segment of a store path, or empty:
// 1 to 128 characters of A-Z a-z 0-9 . _ + - that do not start with ".".
std::string unsafe_name_reason(std::string_view name);

// Why a "preserve" pattern cannot go into a manifest, or empty: it must be valid UTF-8 without control
// bytes or "\", and not empty.
std::string unusable_preserve_reason(std::string_view pattern);

// The files of `root`, sorted by path (bytewise). The updater's own files (is_updater_file: the patch
// state and its companions, the done marker, ".updstage/", ".updpacks/", "*.updpart") are skipped and
// reported through `notice`: publishing a client folder that the launcher updated is normal. Throws
// std::runtime_error for a symbolic link, a special file, an unpublishable path, or two paths that name
// the same file on Windows (PathClashes). Nothing is opened.
std::vector<GameFile> scan_game_folder(const std::filesystem::path& root,
                                       const std::function<void(const std::string&)>& notice);

} // namespace kyrstore
