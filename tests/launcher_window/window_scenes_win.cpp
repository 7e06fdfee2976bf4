#include "launcher_window/window_scenes_win.hpp"

#include <windows.h>

#include <cstdlib>

namespace kyrtest {
namespace {

struct SampleServer {
    const char* name;
    const char* kind;
    const char* state;
    const char* label;
    int latency;
    int online;
    int maxOnline;
    bool needsCode;
    bool pinned;
};

constexpr SampleServer kSamples[] = {
    {"Valdra Principal", "oficial", "online", "Europa Oeste", 45, 812, 2000, false, false},
    {"Tormenta Rápida x50", "fast", "maintenance", "Sudamérica", 120, 95, 500, false, true},
    {"Arena de Sangre", "battle", "offline", "Norte", 250, 0, 300, true, false},
    {"Festival de Invierno", "evento", "online", "Europa Este", -1, 40, 1000, false, false},
    {"Servidor de Pruebas", "test", "unknown", "", -1, 3, 50, true, false},
    {"Oficial con Mayúscula y un nombre tan largo que no cabe en la fila", "Oficial", "online", "Asia", 79, 10, 100,
     false, false},
    {"Sin Tipo", "", "online", "Centro", 80, 1, 10, false, false},
};

bool parseNumber(const std::string& text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

} // namespace

bool applySceneArgument(Scene& scene, const std::string& argument) {
    const std::size_t equals = argument.find('=');
    if (argument.rfind("--", 0) != 0 || equals == std::string::npos) {
        return false;
    }
    const std::string name = argument.substr(2, equals - 2);
    const std::string value = argument.substr(equals + 1);
    long long number = 0;
    const bool numeric = parseNumber(value, number);
    if (name == "view") {
        scene.view = value;
        return value == "main" || value == "settings" || value == "servers";
    }
    if (name == "language") {
        scene.language = value;
    } else if (name == "status") {
        scene.status = value;
    } else if (name == "list-status") {
        scene.listStatus = value;
    } else if (!numeric) {
        return false;
    } else if (name == "rows") {
        scene.rows = static_cast<int>(number);
    } else if (name == "selected") {
        scene.selected = static_cast<int>(number);
    } else if (name == "done") {
        scene.done = static_cast<std::uint64_t>(number);
    } else if (name == "total") {
        scene.total = static_cast<std::uint64_t>(number);
    } else if (name == "busy") {
        scene.busy = number != 0;
    } else if (name == "error") {
        scene.statusError = number != 0;
    } else if (name == "play") {
        scene.play = number != 0;
    } else if (name == "verify") {
        scene.verify = number != 0;
    } else if (name == "force") {
        scene.force = number != 0;
    } else if (name == "source") {
        scene.source = static_cast<int>(number);
    } else if (name == "headline") {
        scene.headline = number != 0;
    } else if (name == "list-error") {
        scene.listError = number != 0;
    } else {
        return false;
    }
    return true;
}

std::vector<launcher::ServerRow> sampleServerRows(int count) {
    std::vector<launcher::ServerRow> rows;
    constexpr int kSampleCount = static_cast<int>(sizeof kSamples / sizeof kSamples[0]);
    for (int i = 0; i < count; ++i) {
        const SampleServer& sample = kSamples[i % kSampleCount];
        launcher::ServerRow row;
        row.id = "server-" + std::to_string(i);
        row.name =
            i < kSampleCount ? sample.name : std::string(sample.name) + " " + std::to_string(i / kSampleCount + 1);
        row.kind = sample.kind;
        row.ratesText =
            i % 3 == 2 ? "Un servidor para probar" : "EXP x" + std::to_string(10 * (i + 1)) + "  -  DROP x3";
        row.bestLabel = sample.label;
        row.state = sample.state;
        row.bestLatencyMs = sample.latency;
        row.online = sample.online;
        row.maxOnline = sample.maxOnline;
        row.needsCode = sample.needsCode;
        row.regionPinned = sample.pinned;
        rows.push_back(row);
    }
    return rows;
}

SceneWindow::SceneWindow(const Scene& scene) {
    configPath_ = (folder_ / "config.ini").string();
    WritePrivateProfileStringA("Custom", "Language", scene.language.c_str(), configPath_.c_str());
    WritePrivateProfileStringA("Graphics", "WindowWidth", "1280", configPath_.c_str());
    WritePrivateProfileStringA("Graphics", "WindowHeight", "720", configPath_.c_str());
    WritePrivateProfileStringA("Graphics", "WindowMode", "1", configPath_.c_str());

    state.folder = folder_.path().string();
    state.configIniPath = configPath_;
    state.window = &window;
    window.setActionCallbacks({[this](launcher::LauncherState&) { ++playCalls; },
                               [this](launcher::LauncherState&) { ++verifyCalls; },
                               [this](launcher::LauncherState&) { ++forceCalls; }});
    window.setServerListCallbacks(
        {[this](int row, launcher::LauncherState&) { selectedRows.push_back(row); },
         [this](launcher::LauncherState&) { ++refreshCalls; },
         [this](int direction, launcher::LauncherState&) { regionSteps.push_back(direction); },
         [this](launcher::LauncherState&) { ++enterCalls; }});
    created_ = window.create(GetModuleHandleA(nullptr), state.folder, configPath_, &state);
    if (!created_) {
        return;
    }
    std::vector<launcher::ServerRow> rows = sampleServerRows(scene.rows);
    if (scene.headline && scene.selected >= 0 && scene.selected < scene.rows) {
        const launcher::ServerRow& row = rows[static_cast<std::size_t>(scene.selected)];
        window.setHeadline({row.name, row.online, row.maxOnline, row.state != "offline", true});
    }
    window.setServerRows(std::move(rows));
    window.setSelectedRow(scene.selected);
    window.setProgress(scene.done, scene.total);
    window.setUpdateStatus(scene.status, scene.statusError);
    window.setPlayEnabled(scene.play);
    window.setVerifyEnabled(scene.verify);
    window.setForceEnabled(scene.force);
    window.setSourceIndicator(scene.source);
    window.setBusyAnimation(scene.busy);
    window.setServerListStatus(scene.listStatus, scene.listError);
    window.show(SW_SHOWNORMAL);
    if (scene.view == "settings") {
        window.openSettings();
    } else if (scene.view == "servers") {
        window.openServers();
    }
    SetForegroundWindow(window.handle());
}

SceneWindow::~SceneWindow() {
    window.setBusyAnimation(false);
}

} // namespace kyrtest
