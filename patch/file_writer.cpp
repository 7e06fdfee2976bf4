#include "patch/file_writer.hpp"

#include "patch/durable_file.hpp"
#include "patch/part_file.hpp"
#include "patch/sha256.hpp"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace gu::patch {

struct FileWriter::Job {
    const ManifestFile* file = nullptr;
    std::filesystem::path part;
    // Not yet both hashed and written; the first is piece number first_piece of the file. A piece stays
    // where it is while a thread works on it: a deque only moves the pieces it pops.
    std::deque<std::string> pieces;
    std::uint64_t first_piece = 0;
    std::uint64_t pieces_hashed = 0;  // pieces before this number are hashed
    std::uint64_t pieces_written = 0; // and these written
    std::uint64_t bytes_since_wake = 0;
    bool hashing = false;              // a thread is hashing pieces of it
    bool writing = false;              // a thread is writing pieces of it
    bool hashed = false;               // closed and every piece hashed
    bool written = false;              // closed and every piece written, the part closed
    bool closed = false;               // no more pieces will come
    bool finished = false;             // the part is complete, on the disk and closed
    std::uint64_t written_bytes = 0;   // bytes in the part
    Sha256 hasher;                     // whichever thread hashes it holds it
    std::optional<PartFile> part_file; // created by its first writing
    std::string actual_sha256;

    std::uint64_t pieces_end() const { return first_piece + pieces.size(); }
};

FileWriter::FileWriter(std::uint64_t budget_bytes, unsigned threads, const ThreadStarter& start_thread)
    : budget_bytes_(budget_bytes) {
    std::string refusal;
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
        std::function<void()> work = [this] { run_thread(); };
        try {
            threads_.push_back(gu::patch::start_thread(start_thread, std::move(work)));
        } catch (const std::exception& e) {
            refusal = e.what();
            break;
        }
    }
    if (threads_.empty()) {
        throw std::runtime_error("cannot start a thread to write files: " + refusal);
    }
    // Without flush threads the writers flush each part themselves: slower, never wrong.
    for (unsigned i = 0; i < kFlushThreads; ++i) {
        std::function<void()> work = [this] { flush_parts(); };
        try {
            threads_.push_back(gu::patch::start_thread(start_thread, std::move(work)));
        } catch (const std::exception&) {
            break;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        ++flush_threads_;
    }
}

// Flushing waits for the disk, not the processor: the parts finished during a flush wait for the next one
// or go to another thread.
void FileWriter::flush_parts() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        work_for_flushers_.wait(lock, [&] { return stopping_ || failure_ || flush_batch_waits(); });
        if (stopping_ || failure_) {
            return;
        }
        try {
            const bool together = to_flush_alone_.empty();
            flush_and_finish(take_flush_batch(), lock);
            if (together) {
                flushing_together_ = false;
            }
        } catch (...) {
            if (!lock.owns_lock()) {
                lock.lock();
            }
            record_failure();
            return;
        }
    }
}

// Flushes the jobs' parts with the lock released, then marks the jobs finished: only now may their parts
// be moved onto their names.
void FileWriter::flush_and_finish(const std::vector<Job*>& batch, std::unique_lock<std::mutex>& lock) {
    std::vector<std::filesystem::path> parts;
    for (const Job* job : batch) {
        parts.push_back(job->part);
    }
    lock.unlock();
    flush_files_to_disk(parts);
    lock.lock();
    for (Job* job : batch) {
        job->finished = true;
    }
    progress_.notify_all();
}

bool FileWriter::flush_batch_waits() const {
    return !to_flush_alone_.empty() || (!to_flush_together_.empty() && !flushing_together_);
}

// A part flushed on its own is taken alone, so that the flush threads share them. Where the file system
// commits many files for the cost of one, a flush takes every such part that waits; the parts finished
// meanwhile wait for the next one, rather than start a flush of the same file systems beside it.
std::vector<FileWriter::Job*> FileWriter::take_flush_batch() {
    std::vector<Job*> batch;
    if (!to_flush_alone_.empty()) {
        batch.push_back(to_flush_alone_.front());
        to_flush_alone_.pop_front();
    } else {
        batch.assign(to_flush_together_.begin(), to_flush_together_.end());
        to_flush_together_.clear();
        flushing_together_ = true;
    }
    return batch;
}

FileWriter::~FileWriter() {
    stop_threads();
    for (Job& job : jobs_) {
        job.part_file.reset(); // an open file cannot be removed everywhere
        std::error_code ignored;
        std::filesystem::remove(job.part, ignored);
    }
}

void FileWriter::stop_threads() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_everyone();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void FileWriter::run_thread() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        Task task;
        ++idle_writers_;
        work_for_writers_.wait(lock, [&] {
            task = next_task();
            return stopping_ || failure_ || task.job != nullptr;
        });
        --idle_writers_;
        if (stopping_ || failure_) {
            return;
        }
        try {
            run_task(task, lock);
        } catch (...) {
            // Nothing may escape a thread's function: the failure goes to the run's thread instead.
            if (!lock.owns_lock()) {
                lock.lock();
            }
            record_failure();
            return;
        }
    }
}

// The first file, in opening order, with pieces that no thread hashes or writes yet; writing comes
// first, so that its bytes reach the disk (and chunks read back from the part) soonest.
FileWriter::Task FileWriter::next_task() {
    for (Job& job : jobs_) {
        const bool more_to_write = job.pieces_written < job.pieces_end() || job.closed;
        const bool more_to_hash = job.pieces_hashed < job.pieces_end() || job.closed;
        if (!job.writing && !job.written && more_to_write) {
            return Task{&job, false};
        }
        if (!job.hashing && !job.hashed && more_to_hash) {
            return Task{&job, true};
        }
    }
    return Task{};
}

// Called and returning with the lock held: takes every piece of the task's kind that waits, and works
// on them without the lock.
void FileWriter::run_task(const Task& task, std::unique_lock<std::mutex>& lock) {
    Job& job = *task.job;
    std::uint64_t& done = task.hashing ? job.pieces_hashed : job.pieces_written;
    bool& busy = task.hashing ? job.hashing : job.writing;
    std::vector<const std::string*> pieces;
    for (std::uint64_t piece = done; piece < job.pieces_end(); ++piece) {
        pieces.push_back(&job.pieces[static_cast<std::size_t>(piece - job.first_piece)]);
    }
    const bool last = job.closed;
    busy = true;
    lock.unlock();
    if (task.hashing) {
        hash_pieces(job, pieces, last);
    } else {
        write_pieces(job, pieces, last);
    }
    lock.lock();
    busy = false;
    done += pieces.size();
    if (!task.hashing) {
        for (const std::string* piece : pieces) {
            job.written_bytes += piece->size();
        }
    }
    (task.hashing ? job.hashed : job.written) = last;
    drop_passed_pieces(job);
    if (job.hashed && job.written) {
        queue_for_flush(job, lock);
    }
    if (progress_waiters_ != 0) {
        progress_.notify_all();
    }
}

void FileWriter::hash_pieces(Job& job, const std::vector<const std::string*>& pieces, bool last) {
    for (const std::string* piece : pieces) {
        job.hasher.update(*piece);
    }
    if (last) {
        const Sha256Digest digest = job.hasher.finish();
        job.actual_sha256 = to_hex(digest.data(), digest.size());
    }
}

void FileWriter::write_pieces(Job& job, const std::vector<const std::string*>& pieces, bool last) {
    if (!job.part_file) {
        job.part_file.emplace(job.part);
    }
    for (const std::string* piece : pieces) {
        job.part_file->write(*piece);
    }
    if (last) {
        job.part_file->finish();
    }
}

// Pieces both hashed and written leave the budget.
void FileWriter::drop_passed_pieces(Job& job) {
    const std::uint64_t passed = std::min(job.pieces_hashed, job.pieces_written);
    while (job.first_piece < passed) {
        unwritten_bytes_ -= job.pieces.front().size();
        job.pieces.pop_front();
        ++job.first_piece;
    }
}

void FileWriter::queue_for_flush(Job& job, std::unique_lock<std::mutex>& lock) {
    if (flush_threads_ == 0) {
        flush_and_finish({&job}, lock);
        return;
    }
    lock.unlock();
    const bool together = flushes_files_together(job.part);
    lock.lock();
    (together ? to_flush_together_ : to_flush_alone_).push_back(&job);
    work_for_flushers_.notify_one();
}

// With the lock held, inside the handler of the failure.
void FileWriter::record_failure() {
    failure_ = std::current_exception();
    wake_everyone();
}

void FileWriter::wake_everyone() {
    work_for_writers_.notify_all();
    work_for_flushers_.notify_all();
    progress_.notify_all();
}

std::uint64_t FileWriter::open(const ManifestFile& file, std::filesystem::path part) {
    std::uint64_t number = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Job& job = jobs_.emplace_back();
        job.file = &file;
        job.part = std::move(part);
        number = first_number_ + jobs_.size() - 1;
    }
    work_for_writers_.notify_all();
    return number;
}

void FileWriter::write(std::string piece) {
    const std::uint64_t size = piece.size();
    bool wake_writer = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const auto room = [&] { return failure_ || unwritten_bytes_ == 0 || unwritten_bytes_ + size <= budget_bytes_; };
        if (!room()) {
            work_for_writers_.notify_all(); // pieces held back for a wake-up must be written now
            await_progress(lock, room);
        }
        rethrow_failure();
        Job& job = jobs_.back();
        job.pieces.push_back(std::move(piece));
        job.bytes_since_wake += size;
        unwritten_bytes_ += size;
        // Waiting writers are woken for a run of pieces, not for each one: a wake-up costs more than
        // hashing and writing a small piece.
        wake_writer = idle_writers_ != 0 && job.bytes_since_wake >= kWakeBytes;
        if (wake_writer) {
            job.bytes_since_wake = 0;
        }
    }
    if (wake_writer) {
        work_for_writers_.notify_all();
    }
}

void FileWriter::close() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (jobs_.empty()) {
            return;
        }
        jobs_.back().closed = true;
    }
    work_for_writers_.notify_all();
}

void FileWriter::rethrow_failure() const {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

std::vector<FinishedFile> FileWriter::take_finished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    rethrow_failure();
    std::vector<FinishedFile> finished;
    while (!jobs_.empty() && jobs_.front().finished) {
        Job& job = jobs_.front();
        finished.push_back(FinishedFile{job.file, first_number_, std::move(job.part), std::move(job.actual_sha256)});
        jobs_.pop_front();
        ++first_number_;
    }
    return finished;
}

std::vector<FinishedFile> FileWriter::drain() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        await_progress(lock, [&] {
            return failure_ || std::all_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return job.finished; });
        });
    }
    return take_finished();
}

FileWriter::Job* FileWriter::find(std::uint64_t number) {
    if (number < first_number_ || number - first_number_ >= jobs_.size()) {
        return nullptr;
    }
    return &jobs_[static_cast<std::size_t>(number - first_number_)];
}

bool FileWriter::wait_written(std::uint64_t number, std::uint64_t end) {
    std::unique_lock<std::mutex> lock(mutex_);
    Job* job = find(number);
    if (job == nullptr) {
        return false;
    }
    work_for_writers_.notify_all();
    await_progress(lock, [&] { return failure_ || job->written_bytes >= end || job->finished; });
    rethrow_failure();
    return job->written_bytes >= end;
}

const std::filesystem::path* FileWriter::part_of(std::uint64_t number) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Job* job = find(number);
    return job != nullptr ? &job->part : nullptr;
}

} // namespace gu::patch
