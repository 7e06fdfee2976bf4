#include "launcher/shell/file_replace.hpp"

#include "launcher/shell/new_file.hpp"

namespace launcher {

NewFileResult writeNewFile(const std::string& path, const BlockSource& source) {
    NewFile file(path);
    if (!file.isOpen()) {
        return NewFileResult::CannotCreate;
    }
    // An unfinished file is removed when it goes out of scope.
    for (;;) {
        std::string_view block;
        if (!source(block)) {
            return NewFileResult::ShortWrite;
        }
        if (block.empty()) {
            break;
        }
        if (!file.write(block)) {
            return NewFileResult::ShortWrite;
        }
    }
    return file.finish() ? NewFileResult::Written : NewFileResult::ShortWrite;
}

NewFileResult writeNewFile(const std::string& path, std::string_view bytes) {
    bool given = false;
    return writeNewFile(path, [&](std::string_view& block) {
        block = given ? std::string_view() : bytes;
        given = true;
        return true;
    });
}

ReplaceWriteResult writeFileReplacing(const std::string& path, std::string_view bytes, bool resetTarget) {
    const std::string temporary = path + ".tmp";
    removeFile(temporary);
    switch (writeNewFile(temporary, bytes)) {
    case NewFileResult::CannotCreate:
        return ReplaceWriteResult::CannotCreate;
    case NewFileResult::ShortWrite:
        return ReplaceWriteResult::ShortWrite;
    case NewFileResult::Written:
        break;
    }
    if (resetTarget) {
        resetFileAttributes(path);
    }
    if (!replaceFile(temporary, path)) {
        removeFile(temporary);
        return ReplaceWriteResult::NotReplaced;
    }
    return ReplaceWriteResult::Written;
}

} // namespace launcher
