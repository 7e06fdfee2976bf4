#include "patch/durable_file.hpp"

#include "patch/downloader.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// While it lives, every flush is recorded (the writer threads flush too), by its path relative to `root`.
class FlushRecorder {
public:
    explicit FlushRecorder(const fs::path& root) {
        state() = {root, {}};
        gu::patch::flush_observer = &record;
    }
    ~FlushRecorder() { gu::patch::flush_observer = nullptr; }
    FlushRecorder(const FlushRecorder&) = delete;
    FlushRecorder& operator=(const FlushRecorder&) = delete;

    // Position of the first flush of `relative` ("." the root) after position `after`, or -1.
    long next(const std::string& relative, long after = -1) const {
        const std::vector<std::string>& flushed = state().flushed;
        const auto from = flushed.begin() + (after + 1);
        const auto found = std::find(from, flushed.end(), relative);
        return found == flushed.end() ? -1 : static_cast<long>(found - flushed.begin());
    }

private:
    struct State {
        fs::path root;
        std::vector<std::string> flushed;
    };
    static State& state() {
        static State current;
        return current;
    }
    static void record(const fs::path& path) {
        static std::mutex lock;
        const std::lock_guard<std::mutex> held(lock);
        state().flushed.push_back(path.lexically_relative(state().root).generic_u8string());
    }
};

// A flush opens the file by the name it is given: a file flushed under its temporary name was flushed
// before its rename.
TEST(DurableFiles, EveryKindOfFileIsFlushedBeforeItsRenameAndItsFolderAfter) {
    const kyrtest::FileMap files = {{"Main.exe", std::string(300, 'm')}, {"Data/Local/a.bmd", std::string(200, 'a')}};
    for (const bool transactional : {false, true}) {
        SCOPED_TRACE(transactional ? "transactional" : "direct");
        kyrtest::ScratchFolder root;
        kyrtest::TestStore store;
        kyrtest::StoreOptions options;
        options.pack_chunks = 2;
        store.publish(files, options);
        kyrtest::MemoryFetcher fetcher(store);
        gu::patch::DownloaderConfig config;
        config.pubkey_b64 = store.pubkey_b64();
        config.root_dir = root.path().u8string();
        config.pack_min_chunks = 1;
        config.transactional = transactional;
        FlushRecorder flushes(root.path());
        const gu::patch::RunResult result = gu::patch::Downloader(fetcher, config).run({}, {});
        ASSERT_TRUE(result.ok) << result.error;

        const std::string written_in = transactional ? ".updstage/" : "";
        // Each installed name is made durable (its folder flushed after the move into it) before the patch
        // state that vouches for it.
        const long state = flushes.next("patchstate.json.tmp");
        for (const auto& [path, folder] : {std::pair{"Main.exe", "."}, std::pair{"Data/Local/a.bmd", "Data/Local"}}) {
            SCOPED_TRACE(path);
            const long file = flushes.next(written_in + path + ".updpart");
            EXPECT_GE(file, 0);
            const long after = flushes.next(folder, file);
            EXPECT_GT(after, file);
            EXPECT_LT(after, state);
        }
    }
}

} // namespace
