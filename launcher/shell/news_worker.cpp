#include "launcher/shell/news_worker.hpp"

#include "launcher/net/updater_front_end.hpp"
#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/window_messages.hpp"
#include "patch/news_document.hpp"
#include "patch/signed_document.hpp"

#include <exception>
#include <memory>

namespace launcher {
namespace {

void fillRecord(const gu::patch::News& news, NewsResult& record) {
    record.headline = news.headline;
    for (std::size_t k = 0; k < news.items.size() && k < static_cast<std::size_t>(kNewsItems); ++k) {
        const gu::patch::NewsItem& item = news.items[k];
        record.present[k] = true;
        record.column1[k] = item.title;
        record.column2[k] = item.body;
        record.column3[k] = item.date;
        record.link[k] = item.link;
    }
}

} // namespace

void newsWorker(MessagePoster& window, gu::patch::Fetcher& store, const std::string& trustKey) {
    auto record = std::make_unique<NewsResult>();
    try {
        const std::string text = gu::patch::get_signed(store, gu::patch::news_store_path(kStoreChannel), trustKey,
                                                       gu::patch::kMaxNewsDocumentBytes);
        fillRecord(gu::patch::parse_news(text), *record);
    } catch (const std::exception&) {
        *record = NewsResult{}; // news are a courtesy: whatever went wrong, the panel shows none
    }
    record->complete = true;
    postRecord(window, WM_APP_NEWS, std::move(record));
}

void onNews(LauncherState& state, const NewsResult& record) {
    LauncherView& window = *state.window;
    // The header belongs to the selected server, which the server list picks as soon as it arrives: the
    // news headline stays with the news.
    if (!record.headline.empty()) {
        window.setNewsHeadline(record.headline);
    }
    bool anyPresent = false;
    for (int k = 0; k < kNewsItems; ++k) {
        if (!record.present[k]) {
            continue;
        }
        anyPresent = true;
        NewsSlot slot;
        slot.texts[0] = record.column1[k];
        slot.texts[1] = record.column2[k];
        slot.texts[3] = record.column3[k];
        slot.link = record.link[k];
        slot.visible = true;
        window.setNewsSlot(k, slot);
    }
    if (record.complete && !anyPresent) {
        window.setNoNews(true);
    }
}

} // namespace launcher
