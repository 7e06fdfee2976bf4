#include "patch/atomic_file.hpp"

#include "patch/durable_file.hpp"
#include "patch/engine_file.hpp"
#include "patch/errors.hpp"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace gu::patch {

namespace fs = std::filesystem;

namespace {

// Streams report failure without a reason; the C library underneath leaves it in errno.
std::error_code last_stream_error() {
    const int code = errno;
    return code != 0 ? std::error_code(code, std::generic_category()) : std::make_error_code(std::errc::io_error);
}

} // namespace

void FileMover::rename(const fs::path& from, const fs::path& to, std::error_code& ec) const {
    fs::rename(from, to, ec);
}

// MinGW's std::filesystem::copy_file (GCC 12) refuses overwrite_existing with "File exists" for any two
// files of one drive: it takes them for the same file because st_ino is always 0 there. So the copy is
// done here, on every platform alike: open the target for writing in place, truncate, copy the bytes.
void FileMover::copy_overwrite(const fs::path& from, const fs::path& to, std::error_code& ec) const {
    constexpr std::size_t kBlockSize = 262144;
    ec.clear();
    errno = 0;
    std::ifstream in(from, std::ios::binary);
    if (!in.is_open()) {
        ec = last_stream_error();
        return;
    }
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        ec = last_stream_error();
        return;
    }
    const std::unique_ptr<char[]> block(new char[kBlockSize]);
    while (in && out) {
        in.read(block.get(), static_cast<std::streamsize>(kBlockSize));
        out.write(block.get(), in.gcount());
    }
    out.close();
    if (in.bad() || !out) {
        ec = last_stream_error();
    }
}

const FileMover& system_file_mover() {
    static const FileMover mover;
    return mover;
}

void replace_file(const fs::path& from, const fs::path& to, std::string_view failure_prefix,
                  const std::function<void()>& before_copy, const FileMover& mover) {
    std::error_code ec;
    mover.rename(from, to, ec);
    if (!ec) {
        return;
    }
    if (before_copy) {
        before_copy();
    }
    mover.copy_overwrite(from, to, ec);
    if (ec) {
        std::string message(failure_prefix);
        message += path_text(to);
        message += ": ";
        message += ec.message();
        throw std::runtime_error(message);
    }
    // The copy wrote over the target in place: its bytes reach the disk before the temporary goes.
    flush_file_to_disk(to);
    std::error_code ignored;
    fs::remove(from, ignored);
}

void write_file_atomically(const fs::path& target, const fs::path& temporary, std::string_view bytes,
                           const AtomicWriteMessages& messages, const std::function<void()>& before_copy,
                           const FileMover& mover) {
    std::FILE* out = create_file_anew(temporary);
    if (out == nullptr) {
        throw std::runtime_error(messages.cannot_open + path_text(temporary));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    // A full disk may only show when the last buffered bytes reach the file, so closing counts too.
    const bool closed = std::fclose(out) == 0;
    std::error_code ignored;
    if (!written || !closed) {
        fs::remove(temporary, ignored);
        throw std::runtime_error(messages.write_failed + path_text(temporary));
    }
    try {
        flush_file_to_disk(temporary);
    } catch (const LocalWriteError&) {
        fs::remove(temporary, ignored);
        throw;
    }
    replace_file(temporary, target, messages.install_failed, before_copy, mover);
    flush_folder_to_disk(target.parent_path());
}

fs::path with_suffix(const fs::path& path, std::string_view suffix) {
    fs::path result = path;
    result += fs::path(std::string(suffix));
    return result;
}

std::string path_text(const fs::path& path) {
    return path.u8string();
}

} // namespace gu::patch
