#include "patch/folder_fetcher.hpp"

#include "patch/errors.hpp"
#include "patch/local_path.hpp"
#include "patch/path_rules.hpp"

#include <fstream>
#include <ios>
#include <memory>
#include <string_view>
#include <system_error>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;

// Objects of several gigabytes (packs) are read through one buffer of this size, never held whole.
constexpr std::size_t kReadBlockBytes = 256 * 1024;

// Offsets and sizes pass through stream positions: a 32-bit build must still reach past 4 GiB.
static_assert(sizeof(std::streamoff) >= sizeof(std::uint64_t), "stream offsets must be 64-bit");

// An object's file, open for reading, with its size when it was opened.
struct ObjectFile {
    std::ifstream in;
    std::uint64_t size = 0;
};

// The object's file, refused when it is larger than max_bytes, positioned at offset. A non-zero offset at or
// past its end is refused too (an HTTP store answers 416 there).
ObjectFile open_object(const fs::path& file, const std::string& where, std::uint64_t offset, std::uint64_t max_bytes) {
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
    if (object.size > max_bytes) {
        throw FetchError(size_limit_message(where, max_bytes));
    }
    if (offset != 0 && offset >= object.size) {
        throw FetchError("offset " + std::to_string(offset) + " is past the end of " + where + " (" +
                         std::to_string(object.size) + " bytes)");
    }
    if (!object.in.seekg(static_cast<std::streamoff>(offset))) {
        throw FetchError("cannot read " + where);
    }
    return object;
}

// Hands the rest of the stream to sink block by block, each once it has passed the run's gate as a block
// from the network would. The object's size was checked against max_bytes, but a file may grow while it is
// read: a block that would bring more than limit is refused, nothing of it handed on.
void read_rest(std::istream& in, const std::string& where, std::uint64_t max_bytes, std::uint64_t limit,
               TransferGate* gate, const ByteSink& sink) {
    const std::unique_ptr<char[]> buffer(new char[kReadBlockBytes]);
    std::uint64_t read = 0;
    while (in.read(buffer.get(), kReadBlockBytes) || in.gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got > limit - read) {
            throw FetchError(size_limit_message(where, max_bytes));
        }
        if (!admit(gate, got)) {
            throw FetchError("cancelled");
        }
        sink(std::string_view(buffer.get(), got));
        read += got;
    }
    if (in.bad()) {
        throw FetchError("cannot read " + where);
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
    ObjectFile object = open_object(object_file(path), name, 0, max_bytes);
    std::string body;
    read_rest(object.in, name, max_bytes, max_bytes, gate(), [&](std::string_view block) { body.append(block); });
    return body;
}

void FolderFetcher::stream_from(const std::string& path, std::uint64_t offset, std::uint64_t max_bytes,
                                const ByteSink& sink) {
    const std::string name = where(path);
    ObjectFile object = open_object(object_file(path), name, offset, max_bytes);
    read_rest(object.in, name, max_bytes, max_bytes - offset, gate(), sink);
}

} // namespace gu::patch
