#pragma once
// What the window-thread handlers may change in the launcher window. The window implements it; every
// setter repaints. Only the window thread calls it, and never while holding a launcher lock.

#include <cstdint>
#include <string>
#include <vector>

namespace launcher {

// One server of the directory as the server panel shows it, in directory order.
struct ServerRow {
    std::string id; // the server's slug
    std::string name;
    std::string kind;
    std::string ratesText;
    std::string bestLabel; // label of the endpoint that chooseEndpoint picks; empty when none
    std::string state;
    int bestLatencyMs = -1; // latency of that endpoint; -1 when none or not measured
    int online = 0;
    int maxOnline = 0;
    bool needsCode = false;    // access is "code"
    bool regionPinned = false; // the player pinned an endpoint
};

// The header's line: the selected server's name with its player counts.
struct Headline {
    std::string text;
    int numberA = 0;
    int numberB = 0;
    bool statusOk = false; // false draws the "no connection" mark
    bool visible = false;
};

struct NewsSlot {
    std::string texts[4];
    std::string link; // opened in the player's browser by a click on the item; empty: none
    bool visible = false;
};

class LauncherView {
public:
    virtual ~LauncherView() = default;

    // Bottom bar: update progress, source, status line, buttons and busy animation.
    virtual void setProgress(std::uint64_t done, std::uint64_t total) = 0;
    virtual void setSourceIndicator(int source) = 0;
    virtual void setUpdateStatus(const std::string& text, bool error) = 0;
    virtual void setPlayEnabled(bool enabled) = 0;
    virtual void setVerifyEnabled(bool enabled) = 0;
    virtual void setForceEnabled(bool enabled) = 0; // disabling also clears hover and press on FORCE
    virtual void setBusyAnimation(bool running) = 0;

    // Header and news panel.
    virtual void setHeadline(const Headline& headline) = 0;
    virtual void setNewsSlot(int index, const NewsSlot& slot) = 0;
    virtual void setNewsHeadline(const std::string& text) = 0; // beside the news panel's heading
    virtual void setNoNews(bool noNews) = 0;

    // Server panel. setServerRows keeps the selected row on the row with the same id (-1 when gone).
    virtual void setServerRows(std::vector<ServerRow> rows) = 0;
    virtual void setSelectedRow(int row) = 0;
    virtual std::string accessCode() const = 0;
    virtual void setServerListStatus(const std::string& text, bool error) = 0;
};

} // namespace launcher
