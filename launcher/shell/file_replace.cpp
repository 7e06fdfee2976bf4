#include "launcher/shell/file_replace.hpp"

#include "launcher/shell/new_file.hpp"

#include <cstdio>
#include <memory>

namespace launcher {
namespace {

BlockSource bytesOnce(std::string_view bytes) {
    return [bytes, given = false](std::string_view& block) mutable {
        block = given ? std::string_view() : bytes;
        given = true;
        return true;
    };
}

// A file read block by block as a BlockSource.
class SourceFile {
public:
    explicit SourceFile(const std::string& path)
        : file_(std::fopen(path.c_str(), "rb"), &std::fclose), buffer_(new char[kBlockSize]) {}

    bool isOpen() const { return file_ != nullptr; }
    BlockSource blocks() const {
        return [this](std::string_view& block) {
            const std::size_t length = std::fread(buffer_.get(), 1, kBlockSize, file_.get());
            block = std::string_view(buffer_.get(), length);
            return std::ferror(file_.get()) == 0;
        };
    }

private:
    static constexpr std::size_t kBlockSize = 65536;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    std::unique_ptr<char[]> buffer_;
};

// The new content under path + ".tmp" (a stale one removed first), then moved onto path.
ReplaceWriteResult replaceWith(const std::string& path, const BlockSource& source, bool resetTarget) {
    const std::string temporary = path + ".tmp";
    removeFile(temporary);
    switch (writeNewFile(temporary, source)) {
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

} // namespace

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
    return writeNewFile(path, bytesOnce(bytes));
}

bool copyToNewFile(const std::string& from, const std::string& to) {
    const SourceFile source(from);
    return source.isOpen() && writeNewFile(to, source.blocks()) == NewFileResult::Written;
}

bool copyFileOver(const std::string& from, const std::string& to) {
    const SourceFile source(from);
    return source.isOpen() && replaceWith(to, source.blocks(), true) == ReplaceWriteResult::Written;
}

ReplaceWriteResult writeFileReplacing(const std::string& path, std::string_view bytes, bool resetTarget) {
    return replaceWith(path, bytesOnce(bytes), resetTarget);
}

} // namespace launcher
