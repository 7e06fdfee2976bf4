#include "launcher/shell/message_routing.hpp"

#include "launcher/shell/launcher_state.hpp"
#include "launcher/shell/news_worker.hpp"
#include "launcher/shell/server_list_actions.hpp"
#include "launcher/shell/server_rows.hpp"
#include "launcher/shell/update_progress.hpp"
#include "launcher/shell/window_messages.hpp"

#include <memory>

namespace launcher {
namespace {

template <typename Record> std::unique_ptr<Record> takeRecord(std::intptr_t lParam) {
    return std::unique_ptr<Record>(reinterpret_cast<Record*>(lParam));
}

} // namespace

void routeNotification(LauncherState& state, unsigned message, std::intptr_t lParam) {
    switch (message) {
    case WM_APP_UPDATE_PROGRESS:
        runProgressStep(state);
        break;
    case WM_APP_UPDATE_DONE:
        if (const auto result = takeRecord<UpdateResult>(lParam); result && state.onUpdateDone != nullptr) {
            state.onUpdateDone(state, *result);
        }
        break;
    case WM_APP_NEWS:
        if (const auto record = takeRecord<NewsResult>(lParam)) {
            onNews(state, *record);
        }
        break;
    case WM_APP_SERVERS_DONE:
        if (const auto result = takeRecord<ServerListResult>(lParam)) {
            onServerListDone(state, *result);
        }
        break;
    case WM_APP_PROBE_DONE:
        refreshServerRows(state);
        break;
    default:
        break;
    }
}

bool routeFromMessageLoop(LauncherState& state, unsigned message, std::uintptr_t& wParam, std::intptr_t lParam) {
    if (!isWorkerNotification(message)) {
        return false;
    }
    routeNotification(state, message, lParam);
    wParam = kRoutedByMessageLoop;
    return true;
}

bool routeFromWindowProcedure(LauncherState& state, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!isWorkerNotification(message)) {
        return false;
    }
    if (wParam != kRoutedByMessageLoop) {
        routeNotification(state, message, lParam);
    }
    return true;
}

} // namespace launcher
