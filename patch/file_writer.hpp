#pragma once
// The writing half of the file phase. The run's thread assembles files chunk by chunk and hands each
// piece to the writer; writer threads hash the pieces and write them into the file's part. Hashing and
// writing a file are two tasks that different threads may take at once, each in the file's order: one
// large file keeps two threads busy, and many small ones are spread over them. Memory is bounded by a
// byte budget of pieces not yet both hashed and written, never by the size of a file: a file of several
// GiB passes through a few MiB.
//
// The writer never moves a part onto its name: the run's thread does that once a file is finished and its
// hash checked (take_finished), so the thread that reads chunks back from parts is also the only one that
// renames them.

#include "patch/store_records.hpp"
#include "patch/thread_starter.hpp"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gu::patch {

// A file whose part is complete, closed and flushed to the disk.
struct FinishedFile {
    const ManifestFile* file = nullptr;
    std::uint64_t number = 0;
    std::filesystem::path part;
    std::string actual_sha256; // of the bytes in the part
};

class FileWriter {
public:
    // Starts up to `threads` writer threads (at least one). Throws std::runtime_error when none can be
    // started; fewer than asked only make it slower.
    FileWriter(std::uint64_t budget_bytes, unsigned threads, const ThreadStarter& start_thread = {});
    // Stops the threads; the parts of files not taken yet are removed.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Starts the next file, to be written to `part`; returns its number (0, 1, ... in order).
    std::uint64_t open(const ManifestFile& file, std::filesystem::path part);
    // Adds bytes to the file opened last, first waiting while the pieces not yet written pass the budget
    // (a piece is always accepted when nothing else waits).
    void write(std::string piece);
    // No more pieces for the file opened last (nothing when it is closed already).
    void close();

    // The finished files at the head of the order, handed over once each. The first failure of a writer
    // (a part that cannot be opened or written) is rethrown here, by write and by wait_written.
    std::vector<FinishedFile> take_finished();
    // Waits until every opened file is finished, then as take_finished.
    std::vector<FinishedFile> drain();
    // Waits until file `number` has its first `end` bytes in its part. False when the file is no longer
    // the writer's (taken, or its part removed).
    bool wait_written(std::uint64_t number, std::uint64_t end);
    // The part of file `number`, while the writer holds it.
    const std::filesystem::path* part_of(std::uint64_t number);

private:
    struct Job;
    // What a thread does next: hash or write the pieces of `job` that no thread has taken yet.
    struct Task {
        Job* job = nullptr;
        bool hashing = false;
    };
    // Flush threads beside the writers: enough flushes of parts on their own under way for the disk to
    // commit them together. A flush of a whole file system takes one of them at a time.
    static constexpr unsigned kFlushThreads = 4;
    static constexpr std::uint64_t kWakeBytes = 1024 * 1024;

    void run_thread();
    void flush_parts();
    bool flush_batch_waits() const;
    std::vector<Job*> take_flush_batch();
    void flush_and_finish(const std::vector<Job*>& batch, std::unique_lock<std::mutex>& lock);
    Task next_task();
    void run_task(const Task& task, std::unique_lock<std::mutex>& lock);
    void hash_pieces(Job& job, const std::vector<const std::string*>& pieces, bool last);
    void write_pieces(Job& job, const std::vector<const std::string*>& pieces, bool last);
    void drop_passed_pieces(Job& job);
    void queue_for_flush(Job& job, std::unique_lock<std::mutex>& lock);
    void record_failure();
    Job* find(std::uint64_t number);
    void rethrow_failure() const;
    void stop_threads();
    void wake_everyone();
    // Waits on progress_ until done(), counted in progress_waiters_.
    template <typename Done> void await_progress(std::unique_lock<std::mutex>& lock, Done done) {
        ++progress_waiters_;
        progress_.wait(lock, done);
        --progress_waiters_;
    }

    const std::uint64_t budget_bytes_;
    std::mutex mutex_;
    // Each kind of thread waits on its own condition, so that a piece handed over wakes one writer and not
    // every thread: waking threads for nothing cost a tenth of a cold install's processor time.
    std::condition_variable work_for_writers_;
    std::condition_variable work_for_flushers_;
    std::condition_variable progress_; // the run's thread: budget freed, bytes written, files finished
    unsigned progress_waiters_ = 0;    // a piece written wakes the run's thread only when it waits
    unsigned idle_writers_ = 0;        // pieces handed over wake writers only when some wait
    std::deque<Job> jobs_;             // in opening order; the first is number first_number_
    std::uint64_t first_number_ = 0;
    std::uint64_t unwritten_bytes_ = 0; // of pieces not yet both hashed and written
    // Written and closed, waiting for their flush to the disk: on their own, or with their file system.
    std::deque<Job*> to_flush_alone_;
    std::deque<Job*> to_flush_together_;
    bool flushing_together_ = false; // a flush thread flushes file systems
    unsigned flush_threads_ = 0;
    std::exception_ptr failure_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace gu::patch
