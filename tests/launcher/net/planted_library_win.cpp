// A library that the test build plants beside the launcher tests as winhttp.dll and msimg32.dll, the way a
// download could plant one in the game folder. Loading it marks the process's environment.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetEnvironmentVariableW(L"KYR_PLANTED_LIBRARY_RAN", L"1");
    }
    return TRUE;
}
