// The writing half of the file phase: parts written in order on two threads and flushed before they are
// handed over, chunks read back from parts still being written, the messages of a part that cannot be
// written, refused threads, and what is left on disk when the run ends early.

#include "patch/atomic_file.hpp"
#include "patch/durable_file.hpp"
#include "patch/file_assembly.hpp"
#include "patch/file_writer.hpp"
#include "patch/part_file.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"
#include "support/thread_grants.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

ManifestFile entry(const std::string& path) {
    ManifestFile file;
    file.path = path;
    return file;
}

// The parts flushed so far and how, recorded by the flush observer while a test sets it.
std::mutex flushed_lock;
std::map<fs::path, Flush> flushed_parts;

void record_flush(const fs::path& path, Flush how) {
    const std::lock_guard<std::mutex> lock(flushed_lock);
    flushed_parts.emplace(path, how);
}

std::optional<Flush> flushed_how(const fs::path& path) {
    const std::lock_guard<std::mutex> lock(flushed_lock);
    const auto found = flushed_parts.find(path);
    return found != flushed_parts.end() ? std::optional<Flush>(found->second) : std::nullopt;
}

// Files below a folder named "remote" stand for a FUSE mount inside an ext4 game folder.
std::uint32_t remote_on_fuse(const fs::path& file) {
    return file.parent_path().filename() == "remote" ? 0x65735546 : 0xEF53;
}

// Half of the parts lie on a file system where each file is flushed alone: they pass the flush threads
// beside the others, which are flushed together where the platform can.
TEST(FileWriter, PartsOfManyFilesComeBackInOrderWithTheHashOfTheirBytes) {
    const kyrtest::ScratchFolder root;
    fs::create_directory(root / "remote");
    flush_observer = &record_flush;
    file_system_type_probe = &remote_on_fuse;
    std::deque<ManifestFile> files;
    FileWriter writer(16, 2); // a budget below one file: pieces still pass one at a time
    std::vector<std::string> expected;
    for (int i = 0; i < 30; ++i) {
        const ManifestFile& file = files.emplace_back(entry((i % 2 == 0 ? "remote/f" : "f") + std::to_string(i)));
        writer.open(file, root / (file.path + ".updpart"));
        std::string content;
        for (int piece = 0; piece < i % 4; ++piece) {
            const std::string bytes = file.path + ":" + std::to_string(piece) + ";";
            content += bytes;
            writer.write(bytes);
        }
        writer.close();
        expected.push_back(content);
    }
    std::vector<FinishedFile> finished = writer.take_finished();
    for (FinishedFile& done : writer.drain()) {
        finished.push_back(std::move(done));
    }
    ASSERT_EQ(finished.size(), files.size());
    for (std::size_t i = 0; i < finished.size(); ++i) {
        SCOPED_TRACE(files[i].path);
        // Before it was handed over, so before its rename.
        const bool together = i % 2 == 1 && flushes_files_together(finished[i].part);
        EXPECT_EQ(flushed_how(finished[i].part), together ? Flush::with_file_system : Flush::alone);
        EXPECT_EQ(finished[i].file, &files[i]);
        EXPECT_EQ(finished[i].number, i);
        EXPECT_EQ(kyrtest::read_bytes(finished[i].part), expected[i]);
        EXPECT_EQ(finished[i].actual_sha256, sha256_hex(expected[i]));
    }
    EXPECT_TRUE(writer.drain().empty());
    flush_observer = nullptr;
    file_system_type_probe = nullptr;
}

// Hashing and writing a file are separate tasks that threads take in turns: with a budget far below the
// file, every piece must still be hashed and written once, in order, whichever thread takes it.
TEST(FileWriter, ALargeFileInManyPiecesIsHashedAndWrittenInOrderByAnyNumberOfThreads) {
    for (const unsigned threads : {1u, 2u, 3u}) {
        SCOPED_TRACE(threads);
        const kyrtest::ScratchFolder root;
        std::deque<ManifestFile> files;
        FileWriter writer(4096, threads);
        std::vector<std::string> expected;
        for (const char* path : {"big.bin", "empty.bin", "after.bin"}) {
            const ManifestFile& file = files.emplace_back(entry(path));
            const std::uint64_t number = writer.open(file, root / (std::string(path) + ".updpart"));
            std::string content;
            const int pieces = file.path == "empty.bin" ? 0 : 300;
            for (int piece = 0; piece < pieces; ++piece) {
                const std::string bytes(1 + (piece * 37) % 700, static_cast<char>('a' + piece % 26));
                content += bytes;
                writer.write(bytes);
                if (piece == 150) {
                    EXPECT_TRUE(writer.wait_written(number, content.size()));
                    EXPECT_EQ(kyrtest::read_bytes(root / (std::string(path) + ".updpart")), content);
                }
            }
            writer.close();
            expected.push_back(content);
        }
        const std::vector<FinishedFile> finished = writer.drain();
        ASSERT_EQ(finished.size(), files.size());
        for (std::size_t i = 0; i < finished.size(); ++i) {
            SCOPED_TRACE(files[i].path);
            EXPECT_EQ(kyrtest::read_bytes(finished[i].part), expected[i]);
            EXPECT_EQ(finished[i].actual_sha256, sha256_hex(expected[i]));
        }
    }
}

TEST(FileWriter, ChunksAreReadBackFromAPartStillBeingWrittenAndCheckedByHash) {
    const kyrtest::ScratchFolder root;
    const std::string first(1000, 'a');
    const std::string second(500, 'b');
    ManifestFile file = entry("big.bin");
    file.chunks = {ManifestChunk{sha256_hex(first), first.size(), 0}, ManifestChunk{sha256_hex(second), second.size(), 0}};
    FileWriter writer(1 << 20, 2);
    RangeReader reader;
    PartChunks parts(writer, reader);
    const fs::path part = root / "big.bin.updpart";
    const std::uint64_t number = writer.open(file, part);
    writer.write(first);
    writer.write(second);
    parts.add(sha256_hex(first), number, 0, first.size());
    parts.add(sha256_hex(second), number, first.size(), second.size());
    parts.add("not the hash of its bytes", number, 0, 10);

    struct Case {
        const char* name;
        std::string hash;
        bool found;
        std::string bytes;
    };
    const Case cases[] = {
        {"first chunk", sha256_hex(first), true, first},
        {"second chunk, written last", sha256_hex(second), true, second},
        {"bytes that do not match", "not the hash of its bytes", false, ""},
        {"unknown chunk", sha256_hex("other"), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManifestChunk chunk;
        chunk.h = c.hash;
        std::string buffer = "x";
        EXPECT_EQ(parts.append(chunk, buffer), c.found);
        EXPECT_EQ(buffer, "x" + c.bytes);
        std::string again;
        EXPECT_EQ(parts.append(chunk, again), c.found); // a place that failed is dropped, one read is kept
    }
    writer.close();
    const std::vector<FinishedFile> finished = writer.drain();
    ASSERT_EQ(finished.size(), 1u);
    parts.forget(file, number, part);
    std::string after;
    EXPECT_FALSE(parts.append(file.chunks[0], after));
    fs::rename(part, root / "big.bin"); // the reader no longer holds it open
    EXPECT_EQ(kyrtest::read_bytes(root / "big.bin"), first + second);
}

TEST(FileWriter, PartThatCannotBeWrittenFailsTheWriterWithItsPath) {
    const kyrtest::ScratchFolder root;
    const ManifestFile file = entry("missing/folder/x.bin");
    FileWriter writer(1 << 20, 1);
    const fs::path part = root / "missing" / "folder" / "x.bin.updpart";
    writer.open(file, part);
    writer.close();
    try {
        writer.drain();
        FAIL() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "failed to open for write: " + path_text(part));
    }
    EXPECT_THROW(writer.write("more"), std::runtime_error);
    EXPECT_THROW(writer.take_finished(), std::runtime_error);
}

TEST(FileWriter, RunEndingEarlyLeavesNoPartBehind) {
    const kyrtest::ScratchFolder root;
    std::deque<ManifestFile> files;
    {
        FileWriter writer(1 << 20, 2);
        for (const char* path : {"finished.bin", "unfinished.bin"}) {
            if (!files.empty()) {
                writer.close();
            }
            const ManifestFile& file = files.emplace_back(entry(path));
            writer.open(file, root / (std::string(path) + ".updpart"));
            writer.write(std::string(4096, 'z'));
        }
    }
    EXPECT_TRUE(fs::is_empty(root.path()));
}

TEST(FileWriter, RefusedThreadsLeaveFewerWritersOrNone) {
    EXPECT_THROW(FileWriter(1 << 20, 2, kyrtest::granting_threads(0)), std::runtime_error);

    // One writer and no flush thread: the writer flushes the part itself before handing it over.
    const kyrtest::ScratchFolder root;
    flush_observer = &record_flush;
    const ManifestFile file = entry("one.bin");
    FileWriter writer(1 << 20, 2, kyrtest::granting_threads(1));
    writer.open(file, root / "one.bin.updpart");
    writer.write("bytes");
    writer.close();
    const std::vector<FinishedFile> finished = writer.drain();
    flush_observer = nullptr;
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_TRUE(flushed_how(finished[0].part).has_value());
}

TEST(PartFile, ReplacesWhatWasThereAndNamesItsPathWhenItCannotOpen) {
    const kyrtest::ScratchFolder root;
    const fs::path path = root / "a.updpart";
    kyrtest::write_bytes(path, "old content that must go");
    PartFile part(path);
    part.write("new ");
    part.write("bytes");
    part.finish();
    EXPECT_EQ(kyrtest::read_bytes(path), "new bytes");

    const fs::path unreachable = root / "no" / "such" / "folder.updpart";
    try {
        PartFile failing(unreachable);
        FAIL() << "opened";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "failed to open for write: " + path_text(unreachable));
    }
}

} // namespace
