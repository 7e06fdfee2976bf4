#include "patch/folder_fetcher.hpp"

#include "patch/errors.hpp"
#include "support/fetcher_contract.hpp"
#include "support/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace gu::patch {
namespace {

namespace fs = std::filesystem;
using namespace kyrtest;

class FolderStore : public kyrtest::ContractStore {
public:
    explicit FolderStore(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

    void put(const std::string& path, const std::string& bytes) override {
        const fs::path file = folder_ / fs::u8path(path);
        fs::create_directories(file.parent_path());
        write_bytes(file, bytes);
    }
    std::unique_ptr<Fetcher> fetcher() override { return std::make_unique<FolderFetcher>(folder_.u8string()); }
    std::string where(const std::string& path) const override { return folder_.u8string() + "/" + path; }
    std::string missingMessage(const std::string& path) const override { return "no such object: " + where(path); }
    std::string pastEndMessage(const std::string& path, std::uint64_t offset, std::uint64_t size) const override {
        return "offset " + std::to_string(offset) + " is past the end of " + where(path) + " (" + std::to_string(size) +
               " bytes)";
    }

private:
    fs::path folder_;
};

class FolderFetcherTest : public ::testing::Test {
protected:
    kyrtest::ScratchFolder scratch_;
    FolderStore store_{scratch_ / "store"};
    const std::string object_ = kyrtest::binaryObject(5000);
};

TEST_F(FolderFetcherTest, KeepsTheFetcherContract) {
    kyrtest::expectGetWithinItsLimit(store_, object_);
    kyrtest::expectStreamWithinItsLimit(store_, object_);
    kyrtest::expectFailedStreamNamesItsCause(store_, object_);
    kyrtest::expectSinkErrorEndsTheStream(store_, object_);
    kyrtest::expectEveryArrivingBytePassesTheGate(store_, object_);
    kyrtest::expectConcurrentGetsOfOneFetcher(store_, object_);
}

TEST_F(FolderFetcherTest, RefusesPathsThatLeaveTheStoreFolder) {
    // Beside the store folder: what each refused path would reach if it were followed.
    write_bytes(scratch_ / "secret", "secret");
    store_.put("v1/x", object_);
    const std::string secret = (scratch_ / "secret").u8string();
    const std::string cases[] = {
        "../secret", "v1/../../secret", secret, "v1\\..\\..\\secret", "C:secret", "",
    };
    const std::unique_ptr<Fetcher> fetcher = store_.fetcher();
    const std::string folder = (scratch_ / "store").u8string() + "/";
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        const std::string want = "refused store path \"" + path + "\" for " + folder;
        EXPECT_EQ(messageOf<FetchError>([&] { fetcher->get(path, kMaxDocumentBytes); }), want);
        std::string streamed;
        EXPECT_EQ(messageOf<FetchError>(
                      [&] { fetcher->stream_from(path, 0, 6, [&](std::string_view block) { streamed += block; }); }),
                  want);
        EXPECT_EQ(streamed, "");
    }
}

// Offsets go through 64-bit stream positions: one past 4 GiB must not wrap to a small one. The file is
// sparse, so it costs no disk space.
TEST_F(FolderFetcherTest, StreamsFromPastFourGibibytes) {
    constexpr std::uint64_t kTailAt = 4ull * 1024 * 1024 * 1024 + 2;
    const fs::path file = scratch_ / "store" / "v1" / "packs" / "big";
    fs::create_directories(file.parent_path());
    {
        std::ofstream out(file, std::ios::binary);
        out.write("head", 4);
        out.seekp(static_cast<std::streamoff>(kTailAt));
        out.write("tail", 4);
        ASSERT_TRUE(out.good());
    }
    std::string streamed;
    EXPECT_EQ(messageOf<LocalWriteError>([&] {
                  store_.fetcher()->stream_from("v1/packs/big", kTailAt, kTailAt + 4, [&](std::string_view block) {
                      streamed += block;
                      if (streamed.size() > 4) { // a wrapped offset would hand over gigabytes: never read those
                          throw LocalWriteError("past the tail");
                      }
                  });
              }),
              "(no exception)");
    EXPECT_EQ(streamed, "tail");
}

} // namespace
} // namespace gu::patch
