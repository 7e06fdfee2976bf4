#include "launcher/shell/file_replace.hpp"

#include <cstdio>

namespace launcher {

ReplaceWriteResult writeFileReplacing(const std::string& path, std::string_view bytes, bool resetTarget) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return ReplaceWriteResult::CannotCreate;
    }
    const std::size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    // A full disk may only show when the buffered bytes reach the file, so the flush and close count too.
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (written != bytes.size() || !flushed || !closed) {
        std::remove(temporary.c_str());
        return ReplaceWriteResult::ShortWrite;
    }
    if (resetTarget) {
        resetFileAttributes(path);
    }
    if (!replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        return ReplaceWriteResult::NotReplaced;
    }
    return ReplaceWriteResult::Written;
}

} // namespace launcher
