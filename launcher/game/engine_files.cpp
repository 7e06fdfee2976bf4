#include "launcher/game/engine_files.hpp"

#include "launcher/shell/file_replace.hpp"
#include "patch/sha256.hpp"

#include <cstdio>
#include <cstring>
#include <memory>

namespace launcher {
namespace {

constexpr std::size_t kBlockSize = 65536;

class OpenFile {
public:
    explicit OpenFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~OpenFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    // The block's length: short only at the end of the file; false on a read error.
    bool read(char* block, std::size_t& length) {
        length = std::fread(block, 1, kBlockSize, file_);
        return std::ferror(file_) == 0;
    }

private:
    std::FILE* file_;
};

} // namespace

bool filesIdentical(const std::string& pathA, const std::string& pathB) {
    OpenFile a(pathA);
    OpenFile b(pathB);
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    if (!a.isOpen() || !b.isOpen() || !fileSize(pathA, sizeA) || !fileSize(pathB, sizeB) || sizeA != sizeB) {
        return false;
    }
    const std::unique_ptr<char[]> blockA(new char[kBlockSize]);
    const std::unique_ptr<char[]> blockB(new char[kBlockSize]);
    for (;;) {
        std::size_t lengthA = 0;
        std::size_t lengthB = 0;
        if (!a.read(blockA.get(), lengthA) || !b.read(blockB.get(), lengthB) || lengthA != lengthB) {
            return false;
        }
        if (lengthA == 0) {
            return true;
        }
        if (std::memcmp(blockA.get(), blockB.get(), lengthA) != 0) {
            return false;
        }
    }
}

bool fingerprintFile(const std::string& path, FileFingerprint& fingerprint) {
    OpenFile file(path);
    if (!file.isOpen()) {
        return false;
    }
    const std::unique_ptr<char[]> block(new char[kBlockSize]);
    gu::patch::Sha256 hasher;
    std::uint64_t size = 0;
    for (;;) {
        std::size_t length = 0;
        if (!file.read(block.get(), length)) {
            return false;
        }
        if (length == 0) {
            break;
        }
        hasher.update(block.get(), length);
        size += length;
    }
    const gu::patch::Sha256Digest digest = hasher.finish();
    fingerprint.size = size;
    fingerprint.sha256 = gu::patch::to_hex(digest.data(), digest.size());
    return true;
}

bool EngineFileWrites::copyToNewFile(const std::string& from, const std::string& to) const {
    return launcher::copyToNewFile(from, to);
}

bool EngineFileWrites::writeNewFile(const std::string& path, std::string_view bytes) const {
    return launcher::writeNewFile(path, bytes) == NewFileResult::Written;
}

bool EngineFileWrites::moveOnto(const std::string& from, const std::string& to) const {
    resetFileAttributes(to);
    return replaceFile(from, to);
}

bool EngineFileWrites::remove(const std::string& path) const {
    resetFileAttributes(path);
    return removeFile(path);
}

const EngineFileWrites& systemEngineFileWrites() {
    static const EngineFileWrites writes;
    return writes;
}

} // namespace launcher
