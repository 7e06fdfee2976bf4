#include "patch/file_hash.hpp"

#include "patch/atomic_file.hpp"
#include "patch/errors.hpp"
#include "patch/sha256.hpp"

#include <fstream>
#include <memory>

namespace gu::patch {

std::string sha256_hex_file(const std::filesystem::path& path) {
    constexpr std::size_t kBlockSize = 1048576;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        throw VerifyError("sha256_hex_file: cannot open " + path_text(path));
    }
    // Uninitialised on purpose: every byte hashed was read first.
    const std::unique_ptr<char[]> block(new char[kBlockSize]);
    Sha256 hasher;
    while (true) {
        // A failing read sets badbit (the stream catches the buffer's own exception); end of file only
        // sets eofbit and failbit.
        in.read(block.get(), static_cast<std::streamsize>(kBlockSize));
        if (in.bad()) {
            throw VerifyError("sha256_hex_file: read error on " + path_text(path));
        }
        const std::streamsize got = in.gcount();
        if (got > 0) {
            hasher.update(block.get(), static_cast<std::size_t>(got));
        }
        if (in.eof()) {
            break;
        }
    }
    const Sha256Digest digest = hasher.finish();
    return to_hex(digest.data(), digest.size());
}

} // namespace gu::patch
