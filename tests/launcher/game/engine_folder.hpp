#pragma once
// A game folder for the video engine tests, with recognisable stand-ins for the libraries (never real
// libraries), and a one-line picture of its engine files to compare with.

#include "launcher/game/game_client_interface.hpp"
#include "launcher/game/video_engine.hpp"
#include "support/scratch_folder.hpp"

#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace kyrtest {

// Two releases of the Mesa library (the game's patch may ship a new one) and two of a player's own library.
inline constexpr char kMesa1[] = "MESA llvmpipe release 1";
inline constexpr char kMesa2[] = "MESA llvmpipe release 2, a little longer";
inline constexpr char kForeign[] = "QEFFECTS wrapper library of the player";
inline constexpr char kNewerForeign[] = "QEFFECTS wrapper library, the player's newer release";

// The variable as the game inherits it: on Windows the process environment block, not getenv's copy.
inline std::string processVariable(const char* name) {
#ifdef _WIN32
    char value[256];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? "<unset>" : std::string(value, length);
#else
    const char* value = std::getenv(name);
    return value == nullptr ? "<unset>" : value;
#endif
}

class EngineFolder {
public:
    std::string folder() const { return scratch_.path().string(); }
    std::string path(const char* name) const { return (scratch_ / name).string(); }
    void put(const char* name, std::string_view bytes) const { write_bytes(scratch_ / name, bytes); }
    std::string bytes(const char* name) const { return read_bytes(scratch_ / name); }
    void remove(const char* name) const { std::filesystem::remove(scratch_ / name); }

    // "dll=<library> mesa=<library> bak=<library> ok=<yes|no|bad> placed=<yes|no>", libraries named.
    std::string describe() const {
        const std::string marker = bytes(launcher::kEngineBackupMarkerName);
        return "dll=" + nameOf(launcher::kEngineLibraryName) + " mesa=" + nameOf(launcher::kMesaLibraryName) +
               " bak=" + nameOf(launcher::kEngineBackupName) + " ok=" +
               (marker == "<missing>" ? "no" : marker == "verified\n" ? "yes" : "bad") +
               " placed=" + (bytes(launcher::kPlacedEngineMarkerName) == "<missing>" ? "no" : "yes");
    }

private:
    std::string nameOf(const char* file) const {
        const std::string content = bytes(file);
        const std::pair<const char*, const char*> names[] = {
            {"<missing>", "-"}, {kMesa1, "mesa1"}, {kMesa2, "mesa2"}, {kForeign, "foreign"}, {kNewerForeign, "newer"}};
        for (const auto& [stored, name] : names) {
            if (content == stored) {
                return name;
            }
        }
        return "'" + content + "'";
    }

    ScratchFolder scratch_;
};

} // namespace kyrtest
