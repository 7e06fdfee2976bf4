#include "patch/folder_fetcher.hpp"

#include "patch/engine_file.hpp"
#include "patch/errors.hpp"
#include "patch/local_path.hpp"
#include "patch/path_rules.hpp"

#include <cstdio>
#include <fstream>
#include <ios>
#include <memory>
#include <system_error>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

// Objects of several gigabytes (packs) are copied through one buffer of this size, never held whole.
constexpr std::size_t kCopyBufferBytes = 1024 * 1024;
constexpr std::size_t kReadBlockBytes = 64 * 1024;

// Offsets and sizes pass through stream positions: a 32-bit build must still reach past 4 GiB.
static_assert(sizeof(std::streamoff) >= sizeof(std::uint64_t), "stream offsets must be 64-bit");

// An object's file, open for reading, with its size when it was opened.
struct ObjectFile {
    std::ifstream in;
    std::uint64_t size = 0;
};

ObjectFile open_object(const fs::path& file, const std::string& where) {
    std::error_code error;
    if (!fs::is_regular_file(fs::status(file, error))) {
        throw FetchError("no such object: " + where);
    }
    ObjectFile object;
    object.size = fs::file_size(file, error);
    object.in.open(file, std::ios::binary);
    if (error || !object.in.is_open()) {
        throw FetchError("cannot read " + where);
    }
    return object;
}

// A block read from the store passes the run's gate like a block from the network.
void pass_gate(TransferGate* gate, std::uint64_t bytes) {
    if (!admit(gate, bytes)) {
        throw FetchError("cancelled");
    }
}

// The rest of the stream, refused as soon as it passes max_bytes (a file may grow while it is read).
std::string read_within(std::istream& in, const std::string& where, std::uint64_t max_bytes, TransferGate* gate) {
    std::string body;
    char block[kReadBlockBytes];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > max_bytes - body.size()) {
            throw FetchError(size_limit_message(where, max_bytes));
        }
        body.append(block, got);
        pass_gate(gate, got);
    }
    if (in.bad()) {
        throw FetchError("cannot read " + where);
    }
    return body;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Copies the rest of the stream, refusing it as soon as it passes max_bytes (a file may grow while it is
// read): nothing of the block that would pass the limit is written.
void copy_rest(std::istream& in, const std::string& where, std::FILE* file, const std::string& dest_file,
               std::uint64_t max_bytes, TransferGate* gate) {
    if (file == nullptr) {
        throw LocalWriteError("cannot open " + dest_file);
    }
    std::unique_ptr<std::FILE, FileCloser> out(file);
    const std::unique_ptr<char[]> buffer(new char[kCopyBufferBytes]);
    std::uint64_t copied = 0;
    while (in.read(buffer.get(), kCopyBufferBytes) || in.gcount() > 0) {
        const auto got = static_cast<std::uint64_t>(in.gcount());
        if (got > max_bytes - copied) {
            throw FetchError(size_limit_message(where, max_bytes));
        }
        if (std::fwrite(buffer.get(), 1, static_cast<std::size_t>(got), out.get()) != got) {
            throw LocalWriteError("disk write failed");
        }
        copied += got;
        pass_gate(gate, got);
    }
    if (in.bad()) {
        throw FetchError("cannot read " + where);
    }
    if (std::fclose(out.release()) != 0) {
        throw LocalWriteError("close failed " + dest_file);
    }
}

} // namespace

FolderFetcher::FolderFetcher(const std::string& folder) : folder_(folder), root_(fs::u8path(folder)) {
    if (folder_.empty() || (folder_.back() != '/' && folder_.back() != '\\')) {
        folder_ += '/';
    }
}

std::string FolderFetcher::where(const std::string& path) const {
    return folder_ + path;
}

fs::path FolderFetcher::object_file(const std::string& path) const {
    if (!is_safe_relative_path(path)) {
        throw FetchError("refused store path \"" + path + "\" for " + folder_);
    }
    return local_path(root_, path);
}

std::string FolderFetcher::get(const std::string& path, std::uint64_t max_bytes) {
    const std::string name = where(path);
    ObjectFile object = open_object(object_file(path), name);
    if (object.size > max_bytes) {
        throw FetchError(size_limit_message(name, max_bytes));
    }
    return read_within(object.in, name, max_bytes, gate());
}

void FolderFetcher::download(const std::string& path, const std::string& dest_file, std::uint64_t max_bytes) {
    download_from(path, dest_file, 0, max_bytes);
}

void FolderFetcher::download_from(const std::string& path, const std::string& dest_file, std::uint64_t offset,
                                  std::uint64_t max_bytes) {
    const std::string name = where(path);
    ObjectFile object = open_object(object_file(path), name);
    if (object.size > max_bytes) {
        throw FetchError(size_limit_message(name, max_bytes));
    }
    if (offset != 0 && offset >= object.size) {
        throw FetchError("offset " + std::to_string(offset) + " is past the end of " + name + " (" +
                         std::to_string(object.size) + " bytes)");
    }
    if (!object.in.seekg(static_cast<std::streamoff>(offset))) {
        throw FetchError("cannot read " + name);
    }
    const AppendFile out = open_download_file(dest_file, offset != 0);
    if (out.start_over) {
        object.in.seekg(0); // the partial was not a plain file of the caller's: the whole object follows
    }
    copy_rest(object.in, name, out.file, dest_file, out.start_over ? max_bytes : max_bytes - offset, gate());
}

} // namespace gu::patch
