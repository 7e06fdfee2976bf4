#include "patch/path_rules.hpp"

#include "patch/windows_case.hpp"

#include <algorithm>

namespace gu::patch {
namespace {

constexpr std::string_view kRefusedInPath(":\\\0", 3);
constexpr std::string_view kRefusedInPackName("/\\\0", 3);

// What the updater writes at the root of an installation (patch_state.cpp, previous_version.hpp, the
// update run's stage, pack cache and done marker), as keys of windows_key.
constexpr std::string_view kUpdaterRootNames[] = {"PATCHSTATE.JSON",
                                                  "PATCHSTATE.JSON.TMP",
                                                  "PATCHSTATE.MANIFEST.JSON",
                                                  "PATCHSTATE.MANIFEST.JSON.TMP",
                                                  "PATCHSTATE.MANIFEST.JSON.SIG",
                                                  "PATCHSTATE.MANIFEST.JSON.SIG.TMP",
                                                  ".UPDATE_DONE",
                                                  ".UPDSTAGE",
                                                  ".UPDPACKS"};
constexpr std::string_view kUpdaterFolders[] = {".UPDSTAGE/", ".UPDPACKS/"};
constexpr std::string_view kUpdaterPartSuffix = ".UPDPART";

// Names that Windows opens as a device whatever the folder, with "\xc2\xb9" and so on the UTF-8
// superscript digits one to three.
constexpr std::string_view kDeviceNames[] = {
    "con",  "prn",  "aux",         "nul",         "conin$",      "conout$",     "com0",        "com1",
    "com2", "com3", "com4",        "com5",        "com6",        "com7",        "com8",        "com9",
    "lpt0", "lpt1", "lpt2",        "lpt3",        "lpt4",        "lpt5",        "lpt6",        "lpt7",
    "lpt8", "lpt9", "com\xc2\xb9", "com\xc2\xb2", "com\xc2\xb3", "lpt\xc2\xb9", "lpt\xc2\xb2", "lpt\xc2\xb3"};

bool starts_with(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

// Calls visit(segment, is_last) for each "/"-separated segment until it returns false.
template <typename Visit> bool all_segments(std::string_view path, Visit visit) {
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            return visit(path.substr(start), true);
        }
        if (!visit(path.substr(start, slash - start), false)) {
            return false;
        }
        start = slash + 1;
    }
}

// Windows takes the name before the first dot, trailing blanks dropped, as the device.
bool is_device_name(std::string_view segment) {
    std::string_view stem = segment.substr(0, segment.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    const std::string lower = ascii_lower(stem);
    return std::find(std::begin(kDeviceNames), std::end(kDeviceNames), lower) != std::end(kDeviceNames);
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string windows_segment_problem(std::string_view segment, bool is_last) {
    if (segment == "." && !is_last) {
        return {};
    }
    if (segment == ".") {
        return "names a folder, not a file";
    }
    if (segment.back() == '.' || segment.back() == ' ') {
        return "Windows drops a trailing dot or blank from " + quoted(segment);
    }
    if (is_device_name(segment)) {
        return quoted(segment) + " is a reserved device name on Windows";
    }
    return {};
}

} // namespace

bool is_safe_relative_path(std::string_view path) {
    if (path.empty() || path.find_first_of(kRefusedInPath) != std::string_view::npos) {
        return false;
    }
    // A leading, trailing or doubled "/" shows up as an empty segment.
    return all_segments(path, [](std::string_view segment, bool) { return !segment.empty() && segment != ".."; });
}

bool is_safe_pack_name(std::string_view name) {
    if (name.empty() || name.find_first_of(kRefusedInPackName) != std::string_view::npos) {
        return false;
    }
    return name.find("..") == std::string_view::npos;
}

std::string installed_path_problem(std::string_view path) {
    if (!is_safe_relative_path(path)) {
        return "not a safe relative path";
    }
    std::string problem;
    all_segments(path, [&](std::string_view segment, bool is_last) {
        problem = windows_segment_problem(segment, is_last);
        return problem.empty();
    });
    if (problem.empty() && is_updater_file(path)) {
        problem = "the updater's own file";
    }
    return problem;
}

bool is_updater_file(std::string_view path) {
    const std::string key = windows_key(path);
    if (std::find(std::begin(kUpdaterRootNames), std::end(kUpdaterRootNames), key) != std::end(kUpdaterRootNames)) {
        return true;
    }
    return std::any_of(std::begin(kUpdaterFolders), std::end(kUpdaterFolders),
                       [&](std::string_view folder) { return starts_with(key, folder); }) ||
           ends_with(key, kUpdaterPartSuffix);
}

std::optional<PathClashes::Clash> PathClashes::add(std::string_view path) {
    const std::string key = windows_key(path);
    const std::size_t index = added_++;
    if (const auto file = files_.find(key); file != files_.end()) {
        return Clash{file->second, false};
    }
    if (const auto folder = folders_.find(key); folder != folders_.end()) {
        return Clash{folder->second, true};
    }
    // The folders on the way, deepest first. Once one is known, the ones above it were checked when it
    // was added.
    std::size_t known = 0;
    for (std::size_t slash = key.rfind('/'); slash != std::string::npos && slash > known;
         slash = key.rfind('/', slash - 1)) {
        const std::string folder = key.substr(0, slash);
        if (const auto file = files_.find(folder); file != files_.end()) {
            return Clash{file->second, true};
        }
        if (folders_.count(folder) != 0) {
            known = slash;
            break;
        }
    }
    for (std::size_t slash = key.rfind('/'); slash != std::string::npos && slash > known;
         slash = key.rfind('/', slash - 1)) {
        folders_.emplace(key.substr(0, slash), index);
    }
    files_.emplace(key, index);
    return std::nullopt;
}

std::string windows_key(std::string_view path) {
    std::string key;
    key.reserve(path.size());
    all_segments(path, [&](std::string_view segment, bool) {
        if (segment != ".") {
            key += key.empty() ? "" : "/";
            key += windows_upcase(segment);
        }
        return true;
    });
    return key;
}

} // namespace gu::patch
