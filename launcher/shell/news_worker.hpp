#pragma once
// The news panel's feed: the news that the operator publishes with the store, read through the update's
// own store connection and proven like every store document (size limit, the build's key checked before
// anything is parsed), then checked by the same parser that the publisher runs.

#include <string>

namespace gu::patch {
struct Fetcher;
}

namespace launcher {

class MessagePoster;
struct LauncherState;
struct NewsResult;

// Thread body: posts exactly one complete NewsResult with WM_APP_NEWS. Without news to show (none
// published, the store unreachable, a bad signature or a bad document) it holds no item, so the panel
// says that there is no news instead of loading for ever.
void newsWorker(MessagePoster& window, gu::patch::Fetcher& store, const std::string& trustKey);

// WM_APP_NEWS: the record's headline beside the news panel's heading, its present items, and the no-news
// mark when the source finished with nothing to show.
void onNews(LauncherState& state, const NewsResult& record);

} // namespace launcher
