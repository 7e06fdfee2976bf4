#pragma once
// The game's own settings as the game reads them: config.ini in the game folder (profile functions,
// numbers as decimal text) and the copy of the language code in the registry. The launcher's
// implementation is IniGameConfig (Windows); tests put an in-memory one in to make single writes fail.

#include <string>
#include <utility>

namespace launcher {

class GameConfig {
public:
    virtual ~GameConfig() = default;

    // The key's text, or fallback when the file, section or key is missing; at most bufferSize - 1 bytes,
    // as read into a buffer of bufferSize.
    virtual std::string readText(const char* section, const char* key, const char* fallback,
                                 unsigned bufferSize) const = 0;
    // The number that the key's text begins with, or fallback when the key is missing.
    virtual int readNumber(const char* section, const char* key, int fallback) const = 0;
    // False when config.ini could not be written (read-only, or in use by another program).
    virtual bool writeText(const char* section, const char* key, const std::string& value) = 0;
    virtual bool removeKey(const char* section, const char* key) = 0;
    // The registry value "LangSelection". Its failures are silent: config.ini holds the same code.
    virtual void writeLanguageValue(const std::string& code) = 0;
};

// config.ini at configPath through the profile functions, and the registry under HKEY_CURRENT_USER.
class IniGameConfig : public GameConfig {
public:
    explicit IniGameConfig(std::string configPath) : configPath_(std::move(configPath)) {}

    std::string readText(const char* section, const char* key, const char* fallback,
                         unsigned bufferSize) const override;
    int readNumber(const char* section, const char* key, int fallback) const override;
    bool writeText(const char* section, const char* key, const std::string& value) override;
    bool removeKey(const char* section, const char* key) override;
    void writeLanguageValue(const std::string& code) override;

private:
    std::string configPath_;
};

} // namespace launcher
