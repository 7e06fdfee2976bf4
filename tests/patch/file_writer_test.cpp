// The writer thread of the file phase: order, failures, the chunks it still holds, and what it does with
// its queue when the run ends early.

#include "patch/errors.hpp"
#include "patch/file_assembly.hpp"
#include "patch/sha256.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

// Manifest entries must outlive the writer: it hands them back once their files are on disk.
struct Files {
    std::deque<ManifestFile> entries;

    // An assembled file of two chunks, "<path>:1" and "<path>:2"; a wrong hash makes its check fail. With
    // `from_pack`, the second chunk's bytes were left to the file's hash.
    AssembledFile make(const std::string& path, bool right_hash = true, bool from_pack = false) {
        const std::string first = path + ":1";
        const std::string second = path + ":2";
        ManifestFile& entry = entries.emplace_back();
        entry.path = path;
        entry.sha256 = right_hash ? sha256_hex(first + second) : sha256_hex("something else");
        AssembledFile file;
        file.file = &entry;
        file.bytes = first + second;
        file.chunks.emplace("h-" + first, ChunkPlace{0, first.size(), true});
        file.chunks.emplace("h-" + second, ChunkPlace{first.size(), second.size(), !from_pack});
        return file;
    }
};

std::vector<std::string> paths(const std::vector<WrittenFile>& files) {
    std::vector<std::string> out;
    for (const WrittenFile& file : files) {
        out.push_back(file.file->path);
    }
    return out;
}

std::string pending_bytes(const FileWriter& writer, const std::string& hash) {
    const std::optional<PendingChunk> chunk = writer.pending_chunk(hash);
    return chunk ? std::string(chunk->bytes) + (chunk->checked ? "" : " (unchecked)") : "none";
}

TEST(FileWriter, WritesInOrderAndHoldsEachFilesChunksUntilItIsTaken) {
    const kyrtest::ScratchFolder root;
    Files files;
    FileWriter writer(root.path(), {}, 16, 2);
    writer.submit(files.make("a.bin"));
    writer.submit(files.make("dir/b.bin")); // over the budget, but each writer may hold a file
    EXPECT_EQ(pending_bytes(writer, "h-a.bin:2"), "a.bin:2");
    EXPECT_EQ(pending_bytes(writer, "h-dir/b.bin:1"), "dir/b.bin:1");
    EXPECT_EQ(pending_bytes(writer, "h-c.bin:1"), "none");

    EXPECT_EQ(paths(writer.drain()), (std::vector<std::string>{"a.bin", "dir/b.bin"}));
    EXPECT_FALSE(writer.pending_chunk("h-a.bin:2"));
    EXPECT_FALSE(writer.pending_chunk("h-dir/b.bin:1"));
    EXPECT_EQ(kyrtest::read_bytes(root.path() / "a.bin"), "a.bin:1a.bin:2");
    EXPECT_EQ(kyrtest::read_bytes(root.path() / "dir" / "b.bin"), "dir/b.bin:1dir/b.bin:2");
    EXPECT_TRUE(writer.take_written().empty());
}

TEST(FileWriter, FilesWrittenSideBySideComeBackInSubmissionOrder) {
    const kyrtest::ScratchFolder root;
    Files files;
    FileWriter writer(root.path(), {}, 1 << 20, 2);
    std::vector<std::string> submitted;
    for (int i = 0; i < 40; ++i) {
        submitted.push_back("f" + std::to_string(i) + ".bin");
        writer.submit(files.make(submitted.back()));
    }
    std::vector<std::string> taken = paths(writer.take_written());
    for (const std::string& path : paths(writer.drain())) {
        taken.push_back(path);
    }
    EXPECT_EQ(taken, submitted);
}

TEST(FileWriter, FirstFailureStopsTheWritingAndIsRethrownByEveryLaterCall) {
    const kyrtest::ScratchFolder root;
    Files files;
    FileWriter writer(root.path(), {}, 1 << 20, 1);
    writer.submit(files.make("good.bin"));
    writer.submit(files.make("bad.bin", false));
    EXPECT_THROW(writer.drain(), VerifyError);
    EXPECT_THROW(writer.take_written(), VerifyError);
    EXPECT_THROW(writer.submit(files.make("later.bin")), VerifyError);
    EXPECT_TRUE(fs::exists(root.path() / "good.bin"));
    for (const char* never : {"bad.bin", "bad.bin.updpart", "later.bin"}) {
        EXPECT_FALSE(fs::exists(root.path() / never)) << never;
    }
}

TEST(FileWriter, FileWhosePackBytesDoNotMatchIsSetAsideWithoutStoppingTheWriting) {
    const kyrtest::ScratchFolder root;
    Files files;
    FileWriter writer(root.path(), {}, 1 << 20, 2);
    writer.submit(files.make("rejected.bin", false, true));
    writer.submit(files.make("packed.bin", true, true));
    writer.submit(files.make("plain.bin"));
    EXPECT_EQ(pending_bytes(writer, "h-rejected.bin:1"), "rejected.bin:1");
    EXPECT_EQ(pending_bytes(writer, "h-rejected.bin:2"), "rejected.bin:2 (unchecked)");

    const std::vector<WrittenFile> done = writer.drain();

    ASSERT_EQ(paths(done), (std::vector<std::string>{"rejected.bin", "packed.bin", "plain.bin"}));
    EXPECT_TRUE(done[0].assemble_again);
    EXPECT_FALSE(done[1].assemble_again);
    EXPECT_FALSE(done[2].assemble_again);
    // Pack chunks are handed back for counting only with a file that matched.
    EXPECT_TRUE(done[0].pack_chunks.empty());
    EXPECT_EQ(done[1].pack_chunks, std::vector<std::string>{"h-packed.bin:2"});
    EXPECT_FALSE(fs::exists(root.path() / "rejected.bin"));
    EXPECT_FALSE(fs::exists(root.path() / "rejected.bin.updpart"));
    EXPECT_EQ(kyrtest::read_bytes(root.path() / "packed.bin"), "packed.bin:1packed.bin:2");
    EXPECT_TRUE(fs::exists(root.path() / "plain.bin"));
}

TEST(FileWriter, QueuedFilesAreWrittenWhenTheRunEndsEarly) {
    const kyrtest::ScratchFolder root;
    Files files;
    {
        FileWriter writer(root.path(), {}, 1 << 20, 2);
        for (const char* path : {"1.bin", "2.bin", "3.bin"}) {
            writer.submit(files.make(path));
        }
    }
    for (const char* path : {"1.bin", "2.bin", "3.bin"}) {
        EXPECT_TRUE(fs::exists(root.path() / path)) << path;
    }
}

TEST(FileWriter, FilesLargerThanTheBudgetStillGoThroughOnePerWriter) {
    const kyrtest::ScratchFolder root;
    Files files;
    FileWriter writer(root.path(), {}, 1, 2);
    for (const char* path : {"x.bin", "y.bin", "z.bin"}) {
        writer.submit(files.make(path));
    }
    EXPECT_EQ(paths(writer.drain()), (std::vector<std::string>{"x.bin", "y.bin", "z.bin"}));
}

} // namespace
