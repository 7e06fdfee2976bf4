#pragma once
// The server keys of launcher.ini as the server list flow uses them. The launcher's own implementation
// goes through the profile functions (IniServerPreferences, Windows); tests put an in-memory one in.
// Calls may come from the window thread and the server list worker at once.

#include <string>
#include <utility>

namespace launcher {

class ServerPreferences {
public:
    virtual ~ServerPreferences() = default;

    virtual std::string lastServer() const = 0;
    // The pinned endpoint of the server as pinnedEndpointText gave it; empty for automatic choice.
    virtual std::string pinnedEndpoint(const std::string& slug) const = 0;
    // Write results are informative only: a failed write is silent.
    virtual bool setLastServer(const std::string& slug) = 0;
    virtual bool setPinnedEndpoint(const std::string& slug, const std::string& pin) = 0;
    virtual bool setAccessCode(const std::string& code) = 0;
};

// launcher.ini at iniPath, one profile call per key access.
class IniServerPreferences : public ServerPreferences {
public:
    explicit IniServerPreferences(std::string iniPath) : iniPath_(std::move(iniPath)) {}

    std::string lastServer() const override;
    std::string pinnedEndpoint(const std::string& slug) const override;
    bool setLastServer(const std::string& slug) override;
    bool setPinnedEndpoint(const std::string& slug, const std::string& pin) override;
    bool setAccessCode(const std::string& code) override;

private:
    std::string iniPath_;
};

} // namespace launcher
