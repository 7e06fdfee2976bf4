#include "tools/kyr-store/game_folder.hpp"

#include "patch/path_rules.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kEnginePartSuffix = ".updpart";

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. The manifest is JSON, and the
// engine's parser refuses invalid UTF-8.
bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t code = 0;
        std::uint32_t smallest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1Fu;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0Fu;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07u;
            smallest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

bool is_reserved_device_name(std::string_view segment) {
    static const std::set<std::string, std::less<>> kReserved = {
        "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
        "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    const std::string stem = ascii_lower(segment.substr(0, segment.find('.')));
    return kReserved.count(stem) != 0;
}

std::string in_quotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// The engine's own files at the root of an installation; an operator may publish from a folder that the
// launcher once updated.
bool is_engine_working_entry(const std::string& relative, bool is_directory) {
    const std::string lower = ascii_lower(relative);
    if (is_directory) {
        return lower == ".updstage" || lower == ".updpacks";
    }
    return lower == "patchstate.json" || lower == ".update_done";
}

} // namespace

std::string unpublishable_path_reason(std::string_view path) {
    if (!gu::patch::is_safe_relative_path(path)) {
        return "not a safe relative path";
    }
    if (!is_valid_utf8(path)) {
        return "not valid UTF-8";
    }
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return "control character in the name";
        }
        if (std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos) {
            return std::string("character '") + c + "' is not allowed in Windows file names";
        }
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, slash - start);
        if (segment.back() == '.' || segment.back() == ' ') {
            return "Windows drops a trailing dot or blank from " + in_quotes(segment);
        }
        if (is_reserved_device_name(segment)) {
            return in_quotes(segment) + " is a reserved device name on Windows";
        }
        start = slash + 1;
    }
    if (ends_with(ascii_lower(path), kEnginePartSuffix)) {
        return "the updater uses names ending in \".updpart\" for files being written";
    }
    return {};
}

std::string unusable_preserve_reason(std::string_view pattern) {
    if (pattern.empty()) {
        return "must not be empty";
    }
    if (!is_valid_utf8(pattern)) {
        return "not valid UTF-8";
    }
    for (const char c : pattern) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            return "control characters and \"\\\" are not allowed (paths use \"/\")";
        }
    }
    return {};
}

std::string unsafe_name_reason(std::string_view name) {
    if (name.empty() || name.size() > 128) {
        return "must have 1 to 128 characters";
    }
    if (name.front() == '.') {
        return "must not start with \".\"";
    }
    for (const char c : name) {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                             c == '_' || c == '+' || c == '-';
        if (!allowed) {
            return "only A-Z a-z 0-9 . _ + - are allowed";
        }
    }
    return {};
}

std::vector<GameFile> scan_game_folder(const fs::path& root, const std::function<void(const std::string&)>& notice) {
    if (!fs::is_directory(root)) {
        throw std::runtime_error("game folder " + root.u8string() + " is not a folder");
    }
    std::vector<GameFile> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::directory_entry& entry = *it;
        const std::string relative = entry.path().lexically_relative(root).generic_u8string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            throw std::runtime_error("symbolic link " + in_quotes(relative) +
                                     " in the game folder: replace it by the file it names or remove it");
        }
        const bool is_directory = fs::is_directory(status);
        if (it.depth() == 0 && is_engine_working_entry(relative, is_directory)) {
            notice("skipped the updater's working " + std::string(is_directory ? "folder " : "file ") +
                   in_quotes(relative));
            if (is_directory) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (is_directory) {
            continue;
        }
        if (!fs::is_regular_file(status)) {
            throw std::runtime_error("special file " + in_quotes(relative) + " in the game folder");
        }
        const std::string reason = unpublishable_path_reason(relative);
        if (!reason.empty()) {
            throw std::runtime_error("cannot publish " + in_quotes(relative) + ": " + reason);
        }
        files.push_back({relative, entry.path(), entry.file_size()});
    }
    std::sort(files.begin(), files.end(), [](const GameFile& a, const GameFile& b) { return a.path < b.path; });

    // Windows folds ASCII case: two files may not fold to one name, nor a file to the name of a folder.
    std::map<std::string, const std::string*> folded_files;
    std::map<std::string, const std::string*> folded_folders;
    for (const GameFile& file : files) {
        const std::string lower = ascii_lower(file.path);
        const auto [at, inserted] = folded_files.emplace(lower, &file.path);
        if (!inserted) {
            throw std::runtime_error("cannot publish both " + in_quotes(*at->second) + " and " + in_quotes(file.path) +
                                     ": they are the same file on Windows");
        }
        for (std::size_t slash = lower.find('/'); slash != std::string::npos; slash = lower.find('/', slash + 1)) {
            folded_folders.emplace(lower.substr(0, slash), &file.path);
        }
    }
    for (const auto& [lower, path] : folded_files) {
        const auto folder = folded_folders.find(lower);
        if (folder != folded_folders.end()) {
            throw std::runtime_error("cannot publish both " + in_quotes(*path) + " and " + in_quotes(*folder->second) +
                                     ": a file and a folder of the same name on Windows");
        }
    }
    return files;
}

} // namespace kyrstore
