#include "patch/file_assembly.hpp"

#include "patch/errors.hpp"
#include "patch/install_file.hpp"

#include <algorithm>
#include <string>

namespace gu::patch {

std::vector<std::string> AssembledFile::unchecked_chunks() const {
    std::vector<std::string> unchecked;
    for (const auto& [hash, place] : chunks) {
        if (!place.checked) {
            unchecked.push_back(hash);
        }
    }
    return unchecked;
}

AssembledFile assemble_file(const ManifestFile& file, ChunkFetchContext& context, const PendingChunks& pending,
                            const std::function<void(std::uint64_t)>& after_chunk, PackBytes pack_bytes) {
    const bool unchecked_allowed = pack_bytes == PackBytes::checked_with_their_file;
    AssembledFile assembled;
    assembled.file = &file;
    std::string& buffer = assembled.bytes;
    // A 32-bit build cannot hold more than max_size() (1 GiB - 1 there); refuse before the size is cut to fit
    // size_t, with the file's name rather than a bare length_error.
    if (file.size > buffer.max_size()) {
        throw VerifyError("file \"" + file.path + "\": size too large for this build (" + std::to_string(file.size) +
                          ")");
    }
    buffer.reserve(static_cast<std::size_t>(file.size));
    for (const ManifestChunk& chunk : file.chunks) {
        ChunkPlace place{buffer.size(), 0, true};
        if (const auto own = assembled.chunks.find(chunk.h); own != assembled.chunks.end()) {
            buffer.append(std::string_view(buffer).substr(own->second.offset, own->second.size));
            place.checked = own->second.checked;
        } else if (const std::optional<PendingChunk> held = pending ? pending(chunk.h) : std::nullopt;
                   held && (held->checked || unchecked_allowed)) {
            buffer.append(held->bytes);
            place.checked = held->checked;
        } else {
            place.checked = append_chunk(context, chunk, buffer, pack_bytes) == ChunkSource::checked;
        }
        place.size = buffer.size() - place.offset;
        assembled.chunks.emplace(chunk.h, place);
        after_chunk(buffer.size());
    }
    return assembled;
}

bool verify_and_install(const AssembledFile& assembled, const std::filesystem::path& install_root,
                        const std::filesystem::path& anchor_dir) {
    const ManifestFile& file = *assembled.file;
    const std::string actual = install_file(install_root, file.path, assembled.bytes, file.sha256, anchor_dir);
    if (actual == file.sha256) {
        return true;
    }
    if (!assembled.unchecked_chunks().empty()) {
        return false;
    }
    throw VerifyError("file \"" + file.path + "\": assembled sha256 mismatch (expected \"" + file.sha256 +
                      "\", got \"" + actual + "\")");
}

FileWriter::FileWriter(std::filesystem::path install_root, std::filesystem::path anchor_dir,
                       std::uint64_t budget_bytes, unsigned threads)
    : install_root_(std::move(install_root)), anchor_dir_(std::move(anchor_dir)), budget_bytes_(budget_bytes) {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
        threads_.emplace_back([this] { write_queued(); });
    }
}

FileWriter::~FileWriter() {
    {
        // Queued files were verified before whatever ends the run early: they are written, as they would
        // have been had each been written before the next one was assembled.
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return failure_ || written_ == queue_.size(); });
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void FileWriter::write_queued() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return stopping_ || failure_ || claimed_ < queue_.size(); });
        if (stopping_ || failure_) {
            return;
        }
        // Positions shift when written files are taken: remember the file by its submission number.
        const std::uint64_t number = first_queued() + claimed_++;
        // A reference into a deque survives the submitting thread's pushes and its pops of written files.
        const AssembledFile& file = queue_[position(number)];
        lock.unlock();
        std::exception_ptr failure;
        bool written = false;
        try {
            written = verify_and_install(file, install_root_, anchor_dir_);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure) {
            failure_ = failure;
        } else {
            done_[position(number)] = true;
            rejected_[position(number)] = !written;
            unwritten_bytes_ -= file.bytes.size();
            while (written_ < done_.size() && done_[written_]) {
                ++written_;
            }
        }
        changed_.notify_all();
    }
}

void FileWriter::rethrow_failure() {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void FileWriter::submit(AssembledFile assembled) {
    const std::uint64_t size = assembled.bytes.size();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
        return failure_ || queue_.size() - written_ < threads_.size() || unwritten_bytes_ + size <= budget_bytes_;
    });
    rethrow_failure();
    queue_.push_back(std::move(assembled));
    done_.push_back(false);
    rejected_.push_back(false);
    ++submitted_;
    unwritten_bytes_ += size;
    changed_.notify_all();
    lock.unlock();
    const AssembledFile& queued = queue_.back(); // its bytes no longer move
    const std::uint64_t number = submitted_ - 1;
    for (const auto& [hash, place] : queued.chunks) {
        const PendingChunk chunk{std::string_view(queued.bytes).substr(place.offset, place.size), place.checked};
        queued_chunks_.emplace(hash, std::make_pair(number, chunk));
    }
}

std::vector<WrittenFile> FileWriter::take_written_locked() {
    rethrow_failure();
    std::vector<WrittenFile> written;
    for (; written_ > 0; --written_) {
        const AssembledFile& file = queue_.front();
        const std::uint64_t number = first_queued();
        for (const auto& chunk : file.chunks) {
            const auto found = queued_chunks_.find(chunk.first);
            if (found != queued_chunks_.end() && found->second.first == number) {
                queued_chunks_.erase(found);
            }
        }
        const bool rejected = rejected_.front();
        written.push_back(
            WrittenFile{file.file, rejected, rejected ? std::vector<std::string>{} : file.unchecked_chunks()});
        queue_.pop_front();
        done_.pop_front();
        rejected_.pop_front();
        --claimed_;
    }
    return written;
}

std::vector<WrittenFile> FileWriter::take_written() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return take_written_locked();
}

std::vector<WrittenFile> FileWriter::drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || written_ == queue_.size(); });
    return take_written_locked();
}

std::optional<PendingChunk> FileWriter::pending_chunk(const std::string& hash) const {
    const auto found = queued_chunks_.find(hash);
    if (found == queued_chunks_.end()) {
        return std::nullopt;
    }
    return found->second.second;
}

} // namespace gu::patch
