#include "launcher/shell/news_worker.hpp"

#include "patch/folder_fetcher.hpp"
#include "support/launcher_harness.hpp"
#include "support/scratch_folder.hpp"
#include "support/test_signer.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

namespace launcher {
namespace {

kyrtest::TestSigner signer(std::uint8_t fill) {
    std::array<std::uint8_t, 32> seed{};
    seed.fill(fill);
    return kyrtest::TestSigner(seed);
}

// The news panel's feed against a store folder: the news as published, or, whatever went wrong, no item
// and the panel told that loading ended. A document whose signature fails is never shown.
TEST(NewsWorker, ShowsOnlySignedNewsAndEndsLoadingInEveryCase) {
    const std::string news =
        R"({"headline":"Winter","items":[{"title":"T0","body":"B0","date":"2026-12-01",)"
        R"("link":"https://example.com/a"},{"title":"T1","body":"B1"},{"title":"T2","body":"B2"}]})";
    const kyrtest::TestSigner store = signer(0x11), other = signer(0x22);
    const struct {
        const char* name;
        std::string document; // empty: none published
        const kyrtest::TestSigner* key;
        std::string served; // what the store holds in place of the signed document; empty: the document
        const char* folder;
        std::size_t items;
    } cases[] = {
        {"signed news", news, &store, "", "store", 3},
        {"no news published", "", &store, "", "store", 0},
        {"signed with another key", news, &other, "", "store", 0},
        {"changed after signing", R"({"items":[{"title":"T","body":"B"}]})", &store,
         R"({"items":[{"title":"X","body":"B"}]})", "store", 0},
        {"signed but refused", R"({"items":[{"title":"T","body":"B","link":"http://x"}]})", &store, "", "store", 0},
        {"store unreachable", news, &store, "", "missing", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const kyrtest::ScratchFolder scratch;
        const std::filesystem::path document = scratch / "store/v1/news/windows.json";
        std::filesystem::create_directories(document.parent_path());
        if (!c.document.empty()) {
            kyrtest::write_bytes(document, c.served.empty() ? c.document : c.served);
            kyrtest::write_bytes(document.string() + ".sig", c.key->sign_base64(c.document));
        }
        gu::patch::FolderFetcher fetcher((scratch / c.folder).string());
        kyrtest::LauncherHarness h;
        newsWorker(h.queue, fetcher, store.public_key_base64());
        EXPECT_EQ(h.pump(), 1);
        EXPECT_EQ(h.view.newsSlots.size(), c.items);
        EXPECT_EQ(h.view.newsHeadlines, std::vector<std::string>(c.items == 0 ? 0 : 1, "Winter"));
        EXPECT_EQ(h.view.noNewsMarks, std::vector<bool>(c.items == 0 ? 1 : 0, true));
        if (c.items == 0) {
            continue;
        }
        const NewsSlot& first = h.view.newsSlots[0].second;
        EXPECT_EQ(first.texts[0] + "|" + first.texts[1] + "|" + first.texts[3] + "|" + first.link,
                  "T0|B0|2026-12-01|https://example.com/a");
        EXPECT_EQ(h.view.newsSlots[2].first, 2);
        EXPECT_EQ(h.view.newsSlots[2].second.texts[0], "T2");
    }
}

} // namespace
} // namespace launcher
