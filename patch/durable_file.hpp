#pragma once
// Files that must survive a power cut reach the disk before they are moved onto their names. Without
// that, the file system may keep the rename and lose the data: after the cut the name holds an empty or
// partly written file, and the patch state may vouch for it.
//
// Order for a file written under a temporary name: write, close, flush_file_to_disk(temporary), rename
// onto the name, then flush_folder_to_disk(its folder) before anything (the patch state) relies on the
// new name. Both throw LocalWriteError, whose message contains "write failed", so that the update run
// reports a local write failure.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <system_error>
#include <vector>

namespace gu::patch {

// Writes the file's data to the disk: POSIX fsync, Windows FlushFileBuffers. The file is opened again by
// name, so it need not be open; it must exist and be writable on Windows.
void flush_file_to_disk(const std::filesystem::path& file);

// The same for several files at once. Where one flush of a file system commits all its files (Linux on
// ext2/3/4, xfs and btrfs: syncfs), each of those file systems is flushed once: a flush of its own costs
// each new file several waits for the disk (its data, its inode, its folder, the disk's cache), which
// bounds a cold install at a few hundred files a second. Every other file is flushed on its own. Throws
// like flush_file_to_disk, naming the file whose flush failed.
void flush_files_to_disk(const std::vector<std::filesystem::path>& files);

// True where flush_files_to_disk commits the file together with every other file of its file system, so
// that files waiting for their flush are best flushed together. Decided by the file system's kind,
// remembered per file system. False on Windows, for a file that cannot be read, and for FUSE, network,
// memory and unknown file systems: their syncfs is not known to reach the disk that holds the data.
bool flushes_files_together(const std::filesystem::path& file);

// Starts writing data to the disk without waiting for it (Linux); nothing elsewhere, and failures are
// ignored: the flush that follows, or a hash check, is what may be relied on. A range of a file open for
// writing, which will be flushed; a whole file by name only where flushes_files_together, since the next
// flush of its file system will write it anyway (elsewhere it may never need to reach the disk).
void start_writing_to_disk(const std::filesystem::path& file);
void start_writing_to_disk(std::FILE* file, std::uint64_t offset, std::uint64_t length);

// Makes the folder's entries durable (a file renamed or created in it): POSIX fsync of the folder; nothing
// on Windows, where NTFS journals the change of a MoveFileEx. An empty path is the current folder.
void flush_folder_to_disk(const std::filesystem::path& folder);

// The folders that files were moved into, each flushed once: after a series of moves, such as the commit
// of staged files.
class FolderFlushes {
public:
    // `file` lies below `root`: its folder and every folder above it up to `root`, which may have been
    // created for it, are flushed.
    void add_folders_of(const std::filesystem::path& file, const std::filesystem::path& root);
    // Flushes each folder once, deepest first, and forgets them.
    void flush();

private:
    std::set<std::filesystem::path, std::greater<>> folders_;
};

// How a file or folder reaches the disk: on its own, or with its whole file system.
enum class Flush { alone, with_file_system };

// Tests point this at a recorder: it is called with each file and folder just before it is flushed (on
// Windows too, where a folder needs nothing), and may throw to stand for a failed flush. Null: nothing.
using FlushObserver = void (*)(const std::filesystem::path& path, Flush how);
inline FlushObserver flush_observer = nullptr;

// Tests point this at a stand-in for the kind of a file's file system (the statfs type, such as 0xEF53
// for ext4): it is asked instead of the file system, and its answers are not remembered. Null: the file
// system is asked. Not asked on Windows, where each file is flushed on its own.
using FileSystemTypeProbe = std::uint32_t (*)(const std::filesystem::path& file);
inline FileSystemTypeProbe file_system_type_probe = nullptr;

namespace detail {
// The platform's flushes (durable_file_posix.cpp, durable_file_win.cpp).
std::error_code flush_to_disk(const std::filesystem::path& path, bool is_folder);
// The file systems of `files`, each once; `failed` is the index of the file whose flush failed.
std::error_code flush_file_systems(const std::vector<std::filesystem::path>& files, std::size_t& failed);
} // namespace detail

} // namespace gu::patch
