#pragma once
// The news panel's feed. No news source is configured: the worker delivers one empty record, and the
// panel keeps saying that news is loading.

namespace launcher {

class MessagePoster;
struct LauncherState;
struct NewsResult;

// Thread body: posts one NewsResult with WM_APP_NEWS.
void newsWorker(MessagePoster& window);

// WM_APP_NEWS: the record's headline (unless a server is selected, whose headline takes the place),
// its present items, and the no-news mark when the source finished with nothing to show.
void onNews(LauncherState& state, const NewsResult& record);

} // namespace launcher
