#include "patch/range_reader.hpp"

#include <stdexcept>

namespace gu::patch {

void RangeReader::open(const std::filesystem::path& file, const std::string& name) {
    if (in_.is_open() && open_path_ == file) {
        return;
    }
    release_all();
    in_.open(file, std::ios::binary | std::ios::ate);
    const std::streamoff end = in_.is_open() ? static_cast<std::streamoff>(in_.tellg()) : -1;
    if (end < 0) {
        release_all();
        throw std::runtime_error("cannot open " + name);
    }
    open_path_ = file;
    open_size_ = static_cast<std::uint64_t>(end);
}

void RangeReader::measure() {
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    open_size_ = end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

void RangeReader::append(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length,
                         const std::string& name, std::string& out) {
    open(file, name);
    const auto beyond_end = [&] { return offset > open_size_ || length > open_size_ - offset; };
    if (beyond_end()) {
        measure(); // a part still being written may have grown since it was opened
    }
    if (beyond_end() || length > out.max_size() - out.size()) {
        throw std::runtime_error("short read from " + name);
    }
    const std::size_t before = out.size();
    out.resize(before + static_cast<std::size_t>(length));
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(out.data() + before, static_cast<std::streamsize>(length));
    if (!in_ || in_.gcount() != static_cast<std::streamsize>(length)) {
        out.resize(before);
        release_all(); // the stream's state is unknown now: the next read opens afresh
        throw std::runtime_error("short read from " + name);
    }
}

std::string_view RangeReader::read(const std::filesystem::path& file, std::uint64_t offset, std::uint64_t length,
                                   const std::string& name) {
    scratch_.clear();
    append(file, offset, length, name, scratch_);
    return scratch_;
}

void RangeReader::release(const std::filesystem::path& file) {
    if (in_.is_open() && open_path_ == file) {
        release_all();
    }
}

void RangeReader::release_all() {
    if (in_.is_open()) {
        in_.close();
    }
    in_.clear();
    open_path_.clear();
    open_size_ = 0;
}

} // namespace gu::patch
