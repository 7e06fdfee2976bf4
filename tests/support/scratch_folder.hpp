#pragma once
// Files on disk for engine tests: a fresh private folder under the system's temporary folder (the same
// code natively and under Wine), removed with everything in it when the test ends.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

namespace kyrtest {

class ScratchFolder {
public:
    // A random name, so the native, sanitized and Wine runs of one test never share a folder. The folder
    // lies in a private parent of its own, so that a broken path check writing "../evil.txt" writes into
    // that parent, never into the system's temporary folder.
    ScratchFolder() {
        std::random_device random;
        std::ostringstream name;
        name << "kyr_patch_" << std::hex << random() << random();
        parent_ = std::filesystem::temp_directory_path() / name.str();
        std::filesystem::create_directory(parent_);
        std::filesystem::permissions(parent_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        path_ = parent_ / "scratch";
        std::filesystem::create_directory(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(parent_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

private:
    std::filesystem::path parent_;
    std::filesystem::path path_;
};

inline void write_bytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string read_bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        return "<missing>";
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace kyrtest
