#include "patch/part_file.hpp"

#include "patch/atomic_file.hpp"
#include "patch/durable_file.hpp"
#include "patch/engine_file.hpp"

#include <stdexcept>
#include <utility>

namespace gu::patch {
namespace {

// A part goes to the disk while it is written, a MiB at a time: its flush then finds little left to
// write (a file of 1 GiB was installed half a second sooner), and the disk is not idle until then.
constexpr std::uint64_t kWritebackStepBytes = 1024 * 1024;

} // namespace

PartFile::PartFile(std::filesystem::path path) : path_(std::move(path)) {
    file_ = create_file_anew(path_);
    if (file_ == nullptr) {
        throw std::runtime_error("failed to open for write: " + path_text(path_));
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

PartFile::~PartFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void PartFile::fail_writing() {
    std::fclose(file_);
    file_ = nullptr;
    throw std::runtime_error("failed writing: " + path_text(path_));
}

void PartFile::write(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        fail_writing();
    }
    written_ += bytes.size();
    if (written_ - sent_to_disk_ >= kWritebackStepBytes) {
        start_writing_to_disk(file_, sent_to_disk_, written_ - sent_to_disk_);
        sent_to_disk_ = written_;
    }
}

void PartFile::finish() {
    // A full disk may only show when the last bytes reach it, so the flush and the close count too.
    if (std::fflush(file_) != 0) {
        fail_writing();
    }
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) {
        throw std::runtime_error("failed writing: " + path_text(path_));
    }
}

} // namespace gu::patch
