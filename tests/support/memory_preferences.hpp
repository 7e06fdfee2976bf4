#pragma once
// launcher.ini's server keys in memory, for tests that run without the platform's profile functions.

#include "launcher/shell/server_preferences.hpp"

#include <map>
#include <mutex>
#include <string>

namespace kyrtest {

class MemoryPreferences : public launcher::ServerPreferences {
public:
    std::string lastServer() const override { return get("Last"); }
    std::string pinnedEndpoint(const std::string& slug) const override { return get("Region." + slug); }
    bool setLastServer(const std::string& slug) override { return set("Last", slug); }
    bool setPinnedEndpoint(const std::string& slug, const std::string& pin) override {
        return set("Region." + slug, pin);
    }
    bool setAccessCode(const std::string& code) override { return set("AccessCode", code); }

    // Reads a key as the file would show it; "<absent>" for a key never written.
    std::string value(const std::string& key) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = values_.find(key);
        return found == values_.end() ? "<absent>" : found->second;
    }

private:
    std::string get(const std::string& key) const {
        const std::string stored = value(key);
        return stored == "<absent>" ? std::string() : stored;
    }
    bool set(const std::string& key, const std::string& value) {
        std::lock_guard<std::mutex> lock(mutex_);
        values_[key] = value;
        return true;
    }

    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
};

} // namespace kyrtest
