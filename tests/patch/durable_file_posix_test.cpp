// How files reach the disk on each kind of file system: together, through one flush of the file system,
// only where that flush is known to write them; one by one everywhere else (FUSE, network, memory, unknown).

#include "patch/durable_file.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

namespace {

using namespace gu::patch;
namespace fs = std::filesystem;

std::uint32_t pretended_type = 0;
std::mutex flushes_lock;
std::map<fs::path, Flush> flushes;

TEST(DurableFile, FilesAreFlushedTogetherOnlyWhereTheFileSystemFlushReachesTheDisk) {
    struct Case {
        const char* name;
        std::uint32_t type; // statfs f_type
        Flush want;
    };
    const Case cases[] = {
        {"ext4", 0xEF53, Flush::with_file_system},
        {"xfs", 0x58465342, Flush::with_file_system},
        {"btrfs", 0x9123683E, Flush::with_file_system},
        {"FUSE: ntfs-3g, sshfs", 0x65735546, Flush::alone},
        {"NFS", 0x6969, Flush::alone},
        {"CIFS", 0xFF534D42, Flush::alone},
        {"SMB2", 0xFE534D42, Flush::alone},
        {"tmpfs", 0x01021994, Flush::alone},
        {"overlayfs", 0x794C7630, Flush::alone},
        {"unknown", 0, Flush::alone},
    };
    const kyrtest::ScratchFolder root;
    const std::vector<fs::path> files = {root / "a.updpart", root / "b.updpart"};
    for (const fs::path& file : files) {
        kyrtest::write_bytes(file, "bytes");
    }
    file_system_type_probe = [](const fs::path&) { return pretended_type; };
    flush_observer = [](const fs::path& path, Flush how) {
        const std::lock_guard<std::mutex> lock(flushes_lock);
        flushes[path] = how;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pretended_type = c.type;
        flushes.clear();
        flush_files_to_disk(files);
        EXPECT_EQ(flushes, (std::map<fs::path, Flush>{{files[0], c.want}, {files[1], c.want}}));
        EXPECT_EQ(flushes_files_together(files[0]), c.want == Flush::with_file_system);
    }
    flush_observer = nullptr;
    file_system_type_probe = nullptr;
}

} // namespace
