#include "launcher/game/gl_probe.hpp"

#include <windows.h>

namespace launcher {
namespace {

constexpr unsigned kGlRenderer = 0x1F01;
constexpr unsigned kGlVersion = 0x1F02;
constexpr wchar_t kProbeClassName[] = L"KyrLauncherGlProbeWnd";

using CreateContextFn = HGLRC(WINAPI*)(HDC);
using MakeCurrentFn = BOOL(WINAPI*)(HDC, HGLRC);
using DeleteContextFn = BOOL(WINAPI*)(HGLRC);
using GetStringFn = const unsigned char*(WINAPI*)(unsigned);

// GetProcAddress returns a generic function pointer; the detour through void (*)() keeps the compiler
// from warning about the cast between unrelated function types.
template <typename Function> Function lookUp(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

struct GlFunctions {
    CreateContextFn createContext = nullptr;
    MakeCurrentFn makeCurrent = nullptr;
    DeleteContextFn deleteContext = nullptr;
    GetStringFn getString = nullptr;
};

std::string_view glText(const GlFunctions& gl, unsigned name) {
    const unsigned char* text = gl.getString(name);
    return text != nullptr ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// With the window's device context: pixel format, context, the two texts; everything it creates is
// released again before it returns.
void readContextVersion(const GlFunctions& gl, HDC dc, GlProbeResult& result) {
    PIXELFORMATDESCRIPTOR format;
    ZeroMemory(&format, sizeof(format));
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cDepthBits = 24;
    format.iLayerType = PFD_MAIN_PLANE;
    const int formatIndex = ChoosePixelFormat(dc, &format);
    if (formatIndex == 0 || !SetPixelFormat(dc, formatIndex, &format)) {
        return;
    }
    const HGLRC context = gl.createContext(dc);
    if (context == nullptr) {
        return;
    }
    if (gl.makeCurrent(dc, context)) {
        const std::string_view version = glText(gl, kGlVersion);
        readGlVersion(result, version, glText(gl, kGlRenderer));
        gl.makeCurrent(nullptr, nullptr);
    }
    gl.deleteContext(context);
}

void probeWithLibrary(HMODULE library, GlProbeResult& result) {
    GlFunctions gl;
    gl.createContext = lookUp<CreateContextFn>(library, "wglCreateContext");
    gl.makeCurrent = lookUp<MakeCurrentFn>(library, "wglMakeCurrent");
    gl.deleteContext = lookUp<DeleteContextFn>(library, "wglDeleteContext");
    gl.getString = lookUp<GetStringFn>(library, "glGetString");
    if (gl.createContext == nullptr || gl.makeCurrent == nullptr || gl.deleteContext == nullptr ||
        gl.getString == nullptr) {
        return;
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kProbeClassName;
    if (RegisterClassW(&windowClass) == 0) {
        return;
    }
    const HWND window =
        CreateWindowExW(0, kProbeClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (window != nullptr) {
        const HDC dc = GetDC(window);
        if (dc != nullptr) {
            readContextVersion(gl, dc, result);
            ReleaseDC(window, dc);
        }
        DestroyWindow(window);
    }
    UnregisterClassW(kProbeClassName, instance);
}

} // namespace

bool probeOpenGlOnPlatform(GlProbeResult& result) {
    char systemFolder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    // The system's library by its full path: a copy in the game folder must not answer for the driver.
    const std::string libraryPath = std::string(systemFolder, length) + "\\opengl32.dll";
    const HMODULE library = LoadLibraryA(libraryPath.c_str());
    if (library == nullptr) {
        return false;
    }
    probeWithLibrary(library, result);
    FreeLibrary(library);
    return result.capable;
}

} // namespace launcher
