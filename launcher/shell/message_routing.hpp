#pragma once
// Routing of the worker notifications on the window thread, each handled exactly once.
//
// The main loop routes a notification before dispatching it and marks it routed in wParam (senders
// always post 0). While a modal loop runs (a message box, a window drag), the platform's loop retrieves
// the notifications instead and dispatches them straight to the window procedure, which routes the
// unmarked ones. Every notification is thus routed by whichever loop retrieved it, and never twice.

#include <cstdint>

namespace launcher {

struct LauncherState;

inline constexpr std::uintptr_t kRoutedByMessageLoop = 1;

// Runs the notification's handler and deletes its record (lParam) afterwards.
void routeNotification(LauncherState& state, unsigned message, std::intptr_t lParam);

// The main loop's step before translation and dispatch. True (and wParam marked) for a notification.
bool routeFromMessageLoop(LauncherState& state, unsigned message, std::uintptr_t& wParam, std::intptr_t lParam);

// The window procedure's step: routes a notification that no main loop routed. True for every
// notification, which the procedure then passes to the default procedure.
bool routeFromWindowProcedure(LauncherState& state, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// The launcher's message loop: GetMessageW for the thread's windows until it reports the end, each
// message routed, translated and dispatched (DispatchMessageW). Returns the wParam of the last message (WM_QUIT's
// code). Windows only.
unsigned runMessageLoop(LauncherState& state);

} // namespace launcher
