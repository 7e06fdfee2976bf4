#pragma once
// A LauncherView that records every call, for the handler tests. Calls may come from several threads in
// the race tests, so each is recorded under a lock; read the fields once the threads are done.

#include "launcher/shell/launcher_view.hpp"

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kyrtest {

struct Status {
    std::string text;
    bool error = false;
    bool operator==(const Status& other) const { return text == other.text && error == other.error; }
};

class RecordingView : public launcher::LauncherView {
public:
    void setProgress(std::uint64_t done, std::uint64_t total) override { add(progress, {done, total}); }
    void setSourceIndicator(int source) override { add(sources, source); }
    void setUpdateStatus(const std::string& text, bool error) override { add(updateStatuses, {text, error}); }
    void setPlayEnabled(bool enabled) override { add(playEnabled, enabled); }
    void setVerifyEnabled(bool enabled) override { add(verifyEnabled, enabled); }
    void setForceEnabled(bool enabled) override { add(forceEnabled, enabled); }
    void setBusyAnimation(bool running) override { add(busyAnimation, running); }
    void setHeadline(const launcher::Headline& headline) override { add(headlines, headline); }
    void setNewsSlot(int index, const launcher::NewsSlot& slot) override { add(newsSlots, {index, slot}); }
    void setNewsHeadline(const std::string& text) override { add(newsHeadlines, text); }
    void setNoNews(bool noNews) override { add(noNewsMarks, noNews); }
    void setServerRows(std::vector<launcher::ServerRow> rows) override { add(rowSets, std::move(rows)); }
    void setSelectedRow(int row) override { add(selectedRows, row); }
    std::string accessCode() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return accessCodeText;
    }
    void setServerListStatus(const std::string& text, bool error) override { add(serverListStatuses, {text, error}); }

    void setAccessCode(const std::string& code) {
        std::lock_guard<std::mutex> lock(mutex_);
        accessCodeText = code;
    }
    Status lastServerListStatus() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return serverListStatuses.back();
    }

    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::vector<int> sources;
    std::vector<Status> updateStatuses;
    std::vector<bool> playEnabled;
    std::vector<bool> verifyEnabled;
    std::vector<bool> forceEnabled;
    std::vector<bool> busyAnimation;
    std::vector<launcher::Headline> headlines;
    std::vector<std::pair<int, launcher::NewsSlot>> newsSlots;
    std::vector<std::string> newsHeadlines;
    std::vector<bool> noNewsMarks;
    std::vector<std::vector<launcher::ServerRow>> rowSets;
    std::vector<int> selectedRows;
    std::vector<Status> serverListStatuses;
    std::string accessCodeText;

private:
    template <typename T> void add(std::vector<T>& log, T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        log.push_back(std::move(value));
    }

    mutable std::mutex mutex_;
};

} // namespace kyrtest
