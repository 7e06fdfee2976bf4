#include "launcher/shell/news_worker.hpp"

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/launcher_view.hpp"
#include "launcher/shell/message_poster.hpp"
#include "launcher/shell/window_messages.hpp"

#include <memory>

namespace launcher {

void newsWorker(MessagePoster& window) {
    postRecord(window, WM_APP_NEWS, std::make_unique<NewsResult>());
}

void onNews(LauncherState& state, const NewsResult& record) {
    bool noServerSelected;
    {
        std::lock_guard<std::mutex> lock(state.launcherLock);
        noServerSelected = state.selectedServerId.empty();
    }
    LauncherView& window = *state.window;
    if (record.hasHeadline && noServerSelected) {
        window.setHeadline(Headline{record.headline, record.headlineA, record.headlineB, true, true});
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
        slot.visible = true;
        window.setNewsSlot(k, slot);
    }
    if (record.complete && !anyPresent) {
        window.setNoNews(true);
    }
}

} // namespace launcher
