#pragma once
// config.ini and the registry value in memory, with writes that can be made to fail one key at a time,
// which a real file cannot do.

#include "launcher/game/game_config.hpp"

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kyrtest {

class MemoryGameConfig : public launcher::GameConfig {
public:
    std::string readText(const char* section, const char* key, const char* fallback,
                         unsigned bufferSize) const override {
        const auto found = values_.find(name(section, key));
        const std::string text = found == values_.end() ? fallback : found->second;
        return bufferSize == 0 ? std::string() : text.substr(0, bufferSize - 1);
    }
    // As the profile functions do: the leading number of the text, 0 when it has none.
    int readNumber(const char* section, const char* key, int fallback) const override {
        const auto found = values_.find(name(section, key));
        return found == values_.end() ? fallback : static_cast<int>(std::strtol(found->second.c_str(), nullptr, 10));
    }
    bool writeText(const char* section, const char* key, const std::string& value) override {
        return change(name(section, key), value, name(section, key) + "=" + value);
    }
    bool removeKey(const char* section, const char* key) override {
        return change(name(section, key), std::nullopt, name(section, key) + " removed");
    }
    void writeLanguageValue(const std::string& code) override { languageValue_ = code; }

    void set(const std::string& sectionDotKey, const std::string& value) { values_[sectionDotKey] = value; }
    // "<absent>" for a key that is not there.
    std::string value(const std::string& sectionDotKey) const {
        const auto found = values_.find(sectionDotKey);
        return found == values_.end() ? "<absent>" : found->second;
    }
    // Every write of "Section.Key" fails from now on, as when another program holds the file.
    void failWritesOf(const std::string& sectionDotKey) { failing_ = sectionDotKey; }
    // Every write attempted: "Section.Key=value" or "Section.Key removed".
    const std::vector<std::string>& writes() const { return writes_; }
    const std::string& languageValue() const { return languageValue_; }

private:
    static std::string name(const char* section, const char* key) { return std::string(section) + "." + key; }
    bool change(const std::string& key, const std::optional<std::string>& value, const std::string& write) {
        writes_.push_back(write);
        if (key == failing_) {
            return false;
        }
        if (value) {
            values_[key] = *value;
        } else {
            values_.erase(key);
        }
        return true;
    }

    std::map<std::string, std::string> values_;
    std::string failing_;
    std::vector<std::string> writes_;
    std::string languageValue_ = "<absent>";
};

} // namespace kyrtest
