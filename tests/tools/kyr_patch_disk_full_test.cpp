// Update runs into a small tmpfs that fills up: the run ends as a local write failure (not a network
// failure to retry), and the game folder holds no half-written file; an installed game that could not be
// updated for lack of space is left whole.

#include "support/game_folder.hpp"
#include "support/scratch_folder.hpp"
#include "support/store_folder_server.hpp"
#include "support/update_scenario_posix.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

namespace fs = std::filesystem;
using kyrtest::GameFiles;

constexpr std::uint64_t kPage = 4096;

// tmpfs counts whole pages per file.
std::uint64_t pagesOf(const GameFiles& files) {
    std::uint64_t total = 0;
    for (const auto& [path, bytes] : files) {
        total += (bytes.size() + kPage - 1) / kPage * kPage;
    }
    return total;
}

std::vector<std::string> leftoverPartFiles(const fs::path& root) {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().extension() == ".updpart") {
            found.push_back(entry.path().lexically_relative(root).generic_string());
        }
    }
    return found;
}

class DiskFull : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "not running as root: mounting a small tmpfs to fill up needs root, the disk-full tests "
                            "are skipped";
        }
    }
    void TearDown() override { unmount(); }

    // False, with the test skipped, where mounting is not allowed (a container without CAP_SYS_ADMIN).
    bool mountTmpfs(std::uint64_t bytes) {
        unmount();
        mountPoint_ = work_ / ("tmpfs" + std::to_string(++mounts_));
        fs::create_directories(mountPoint_);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            mountPoint_.clear();
            return false;
        }
        return true;
    }
    void unmount() {
        if (!mountPoint_.empty()) {
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
            mountPoint_.clear();
        }
    }

    const kyrtest::UpdateScenario* scenario_ = &kyrtest::sharedScenario(KYR_STORE_PATH);
    kyrtest::ScratchFolder work_;
    fs::path mountPoint_;
    int mounts_ = 0;
};

TEST_F(DiskFull, EndsAsALocalWriteFailureWithoutHalfWrittenFiles) {
    const GameFiles& v1 = scenario_->version1();
    const GameFiles& v2 = scenario_->version2();
    kyrtest::StoreFolderServer server(scenario_->servedFolder());
    const fs::path pristine = work_ / "pristine";
    ASSERT_TRUE(kyrtest::runUpdate({server.baseUrl() + "one/"}, kyrtest::quickConfig(pristine, scenario_->publicKey()))
                    .result.ok);
    ASSERT_GT(kyrtest::totalSize(v1), 2u * 1024 * 1024);

    // An update needs room for the largest changed file beside its old copy (in place) or for every
    // changed file (staged); 256 KiB beside version 1 is neither.
    const std::uint64_t nearlyFull = pagesOf(v1) + 256 * 1024;
    const struct {
        const char* name;
        bool update;
        bool transactional;
        std::uint32_t packMinChunks;
        std::uint64_t tmpfsBytes;
    } cases[] = {
        {"install, chunk by chunk", false, false, 0, 2 * 1024 * 1024},
        {"install, through packs", false, false, 1, 2 * 1024 * 1024},
        {"install, transactional", false, true, 0, 2 * 1024 * 1024},
        {"update in place", true, false, 0, nearlyFull},
        {"update, transactional", true, true, 0, nearlyFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!mountTmpfs(c.tmpfsBytes)) {
            GTEST_SKIP() << "cannot mount a tmpfs (" << std::strerror(errno) << "): the disk-full tests are skipped";
        }
        const fs::path root = mountPoint_ / "game";
        if (c.update) {
            fs::copy(pristine, root, fs::copy_options::recursive);
        }
        gu::patch::DownloaderConfig config = kyrtest::quickConfig(root, scenario_->publicKey());
        config.transactional = c.transactional;
        config.pack_min_chunks = c.packMinChunks;

        const kyrtest::InProcessRun run = kyrtest::runUpdate({server.baseUrl() + (c.update ? "two/" : "one/")}, config);
        EXPECT_FALSE(run.result.ok);
        EXPECT_TRUE(run.result.local_write_failed) << run.result.error;
        EXPECT_EQ(run.result.space_wanted_bytes, 209715200u);
        EXPECT_EQ(run.result.space_free_bytes, 0u);
        EXPECT_EQ(
            kyrtest::describeTornFiles(c.update ? v1 : GameFiles{}, c.update ? v2 : v1, kyrtest::readGameFolder(root)),
            "");
        // The writer removes a part file that could not be written completely; none may stay behind.
        EXPECT_EQ(leftoverPartFiles(root), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(root / ".updstage"));
        if (c.update && c.transactional) {
            EXPECT_EQ(kyrtest::describeDifferences(v1, kyrtest::readGameFolder(root)), "")
                << "a transactional update that fails before its commit changes nothing";
        }
    }
}

} // namespace
