#include "patch/state_file.hpp"

#include "patch/atomic_file.hpp"

#include <boost/json/parse.hpp>

#include <fstream>
#include <iterator>
#include <string>

namespace gu::patch {

namespace fs = std::filesystem;

std::optional<boost::json::object> load_state_object(const fs::path& file) {
    try {
        std::ifstream in(file, std::ios::binary);
        if (!in.is_open()) {
            return std::nullopt;
        }
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (text.empty()) {
            return std::nullopt;
        }
        boost::system::error_code ec;
        boost::json::value root = boost::json::parse(text, ec);
        if (ec || !root.is_object()) {
            return std::nullopt;
        }
        return std::move(root.get_object());
    } catch (const std::exception&) {
        // Out of memory on an absurdly large file, or a stream that throws: still just "unreadable".
        return std::nullopt;
    }
}

void save_state_text(const fs::path& folder, std::string_view file_name, std::string_view text,
                     std::string_view owner) {
    // An empty folder name is the current folder, which exists; the file system would call it invalid.
    if (!folder.empty()) {
        fs::create_directories(folder);
    }
    const fs::path target = folder / fs::path(std::string(file_name));
    std::string prefix(owner);
    prefix += "::save: ";
    AtomicWriteMessages messages{
        prefix + "cannot open for write: ", prefix + "write failed: ", prefix + "install failed: "};
    write_file_atomically(target, with_suffix(target, ".tmp"), text, messages);
}

} // namespace gu::patch
