#include "tools/kyr-store/game_folder.hpp"

#include "patch/path_rules.hpp"

#include <algorithm>
#include <stdexcept>

namespace kyrstore {
namespace {

namespace fs = std::filesystem;

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

std::string in_quotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
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
    return gu::patch::installed_path_problem(path);
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
        if (gu::patch::is_updater_file(relative)) {
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
    gu::patch::PathClashes clashes;
    for (const GameFile& file : files) {
        if (const auto clash = clashes.add(file.path)) {
            throw std::runtime_error(
                "cannot publish both " + in_quotes(files[clash->earlier].path) + " and " + in_quotes(file.path) + ": " +
                (clash->file_and_folder ? "a file and a folder of the same name" : "they are the same file") +
                " on Windows");
        }
    }
    return files;
}

} // namespace kyrstore
