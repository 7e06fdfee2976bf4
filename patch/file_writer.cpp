#include "patch/file_writer.hpp"

#include "patch/durable_file.hpp"
#include "patch/part_file.hpp"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace gu::patch {

struct FileWriter::Job {
    const ManifestFile* file = nullptr;
    std::filesystem::path part;
    std::deque<std::string> pieces; // waiting to be written
    std::uint64_t queued = 0;       // their bytes
    bool writer_waits = false;      // its writer waits for pieces
    bool closed = false;            // no more pieces will come
    bool claimed = false;           // a writer thread has it
    bool finished = false;          // the part is complete, on the disk and closed
    std::uint64_t written = 0;      // bytes in the part
    std::string actual_sha256;
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
    for (const Job& job : jobs_) {
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
        Job* job = nullptr;
        work_for_writers_.wait(lock, [&] {
            for (Job& candidate : jobs_) {
                if (!candidate.claimed) {
                    job = &candidate;
                    break;
                }
            }
            return stopping_ || failure_ || job != nullptr;
        });
        if (stopping_ || failure_) {
            return;
        }
        job->claimed = true;
        try {
            write_job(*job, lock);
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

// Called and returning with the lock held; the part is written without it.
void FileWriter::write_job(Job& job, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    PartFile part(job.part);
    lock.lock();
    while (true) {
        job.writer_waits = true;
        work_for_writers_.wait(lock, [&] { return stopping_ || !job.pieces.empty() || job.closed; });
        job.writer_waits = false;
        if (stopping_) {
            return;
        }
        if (job.pieces.empty()) {
            lock.unlock();
            job.actual_sha256 = part.finish(); // the job is this thread's until it is finished or queued
            const bool together = flushes_files_together(job.part);
            lock.lock();
            if (flush_threads_ == 0) {
                flush_and_finish({&job}, lock);
            } else {
                (together ? to_flush_together_ : to_flush_alone_).push_back(&job);
                work_for_flushers_.notify_one();
            }
            return;
        }
        // Every piece waiting is taken at once: one hand-over of the lock for a run of pieces.
        std::deque<std::string> pieces;
        pieces.swap(job.pieces);
        job.queued = 0;
        lock.unlock();
        std::uint64_t bytes = 0;
        for (const std::string& piece : pieces) {
            part.write(piece);
            bytes += piece.size();
        }
        pieces.clear();
        lock.lock();
        job.written += bytes;
        unwritten_bytes_ -= bytes;
        if (progress_waiters_ != 0) {
            progress_.notify_all();
        }
    }
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
        job.queued += size;
        unwritten_bytes_ += size;
        // A waiting writer is woken for a run of pieces, not for each one: a wake-up costs more than
        // hashing and writing a small piece.
        wake_writer = job.writer_waits && job.queued >= kWakeBytes;
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
    await_progress(lock, [&] { return failure_ || job->written >= end || job->finished; });
    rethrow_failure();
    return job->written >= end;
}

const std::filesystem::path* FileWriter::part_of(std::uint64_t number) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Job* job = find(number);
    return job != nullptr ? &job->part : nullptr;
}

} // namespace gu::patch
