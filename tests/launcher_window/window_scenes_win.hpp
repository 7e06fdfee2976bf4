#pragma once
// The launcher window opened in a chosen state, for the window tests and the preview program: sample
// server rows, progress, statuses and an open panel. Callbacks only count their calls.

#include "launcher/shell/launcher_state.hpp"
#include "launcher/ui/launcher_window.hpp"
#include "support/scratch_folder.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace kyrtest {

struct Scene {
    std::string view = "main"; // main, settings or servers
    std::string language = "Eng";
    int rows = 0;
    int selected = -1;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    bool busy = false;
    std::string status = "Client up to date.";
    bool statusError = false;
    bool play = true;
    bool verify = true;
    bool force = false;
    int source = 0;
    bool headline = true;
    std::string listStatus = "Lista del Servidor Primario.";
    bool listError = false;
};

// Reads one "--name=value" argument into the scene; false for an unknown name or a bad value.
bool applySceneArgument(Scene& scene, const std::string& argument);

// Rows of every kind, state and latency band; more than seven repeat the pattern with other names.
std::vector<launcher::ServerRow> sampleServerRows(int count);

// A game folder with its config.ini, a launcher state whose callbacks count their calls, and the
// window, created, put in the scene's state and shown.
class SceneWindow {
public:
    explicit SceneWindow(const Scene& scene);
    ~SceneWindow();
    SceneWindow(const SceneWindow&) = delete;
    SceneWindow& operator=(const SceneWindow&) = delete;

    bool created() const { return created_; }
    std::string configPath() const { return configPath_; }

    launcher::LauncherWindow window;
    launcher::LauncherState state;
    int playCalls = 0;
    int verifyCalls = 0;
    int forceCalls = 0;
    int refreshCalls = 0;
    int enterCalls = 0;
    std::vector<int> selectedRows;
    std::vector<int> regionSteps;

private:
    ScratchFolder folder_;
    std::string configPath_;
    bool created_ = false;
};

} // namespace kyrtest
