// Opens the launcher window in a chosen state until it is closed, so that each view can be looked at
// and captured: window_preview --view=servers --rows=10 --selected=2 --done=50 --total=200 ...
// Test builds only; never part of the shipped program.

#include "launcher_window/window_scenes_win.hpp"

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    kyrtest::Scene scene;
    for (int i = 1; i < argc; ++i) {
        if (!kyrtest::applySceneArgument(scene, argv[i])) {
            std::fprintf(stderr,
                         "unknown argument %s\n"
                         "usage: window_preview [--view=main|settings|servers] [--language=Eng|Spn|Por] [--rows=N]\n"
                         "  [--selected=ROW] [--done=N] [--total=N] [--busy=0|1] [--status=TEXT] [--error=0|1]\n"
                         "  [--play=0|1] [--verify=0|1] [--force=0|1] [--source=-1|0|1] [--headline=0|1]\n"
                         "  [--list-status=TEXT] [--list-error=0|1]\n",
                         argv[i]);
            return 2;
        }
    }
    kyrtest::SceneWindow window(scene);
    if (!window.created()) {
        std::fprintf(stderr, "the launcher window could not be created\n");
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
