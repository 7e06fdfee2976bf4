#include "launcher_window/screen_tools_win.hpp"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kyrtest {
namespace {

// A host path as Wine's Z: drive shows it.
std::string windowsPathOf(const std::string& hostPath) {
    std::string path = "Z:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

bool readFile(const std::string& windowsPath, std::string& content) {
    std::ifstream in(windowsPath, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    content = text.str();
    return true;
}

// Reads a binary PPM (P6, maxval 255) as ImageMagick writes it.
bool parsePpm(const std::string& data, int& width, int& height, std::vector<std::uint8_t>& pixels) {
    std::istringstream in(data);
    std::string magic;
    int maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    if (magic != "P6" || width <= 0 || height <= 0 || maxValue != 255) {
        return false;
    }
    in.get();
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    const auto offset = static_cast<std::size_t>(in.tellg());
    if (data.size() < offset + size) {
        return false;
    }
    pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(offset),
                  data.begin() + static_cast<std::ptrdiff_t>(offset + size));
    return true;
}

} // namespace

void pumpMessages(int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                continue; // a destroyed window's quit request is not meant for the test program
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

std::string screenshotFolder() {
    return KYR_SCREENSHOT_DIR;
}

bool runHostCommand(const std::string& command, int timeoutMs) {
    static int counter = 0;
    const std::string base = screenshotFolder() + "/.host-command-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++counter);
    const std::string script = base + ".sh";
    const std::string marker = base + ".done";
    {
        std::ofstream out(windowsPathOf(script), std::ios::binary | std::ios::trunc);
        out << "PATH=/usr/local/bin:/usr/bin:/bin:$PATH\n"
            << "( " << command << " ) >" << quoted(base + ".log") << " 2>&1\n"
            << "echo $? >" << quoted(marker + ".tmp") << "\n"
            << "mv " << quoted(marker + ".tmp") << " " << quoted(marker) << "\n";
        if (!out) {
            return false;
        }
    }
    std::string line = "/bin/sh " + script;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    std::string status;
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        pumpMessages(20);
        if (readFile(windowsPathOf(marker), status)) {
            break;
        }
    }
    DeleteFileA(windowsPathOf(marker).c_str());
    DeleteFileA(windowsPathOf(script).c_str());
    const bool ok = std::atoi(status.c_str()) == 0 && !status.empty();
    if (ok) {
        DeleteFileA(windowsPathOf(base + ".log").c_str());
    }
    return ok;
}

Screenshot Screenshot::capture(HWND window, const std::string& name) {
    Screenshot shot;
    RECT area{};
    if (!GetWindowRect(window, &area)) {
        return shot;
    }
    pumpMessages(150);
    GdiFlush();
    const std::string folder = screenshotFolder();
    const std::string screen = folder + "/.screen-" + name + ".png";
    const std::string png = folder + "/" + name + ".png";
    const std::string ppm = folder + "/.window-" + name + ".ppm";
    const std::string crop = std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) +
                             "+" + std::to_string(area.left) + "+" + std::to_string(area.top);
    const std::string command = "import -window root " + quoted(screen) + " && convert " + quoted(screen) + " -crop " +
                                crop + " +repage " + quoted(png) + " && convert " + quoted(png) + " -depth 8 " +
                                quoted("ppm:" + ppm) + " && rm -f " + quoted(screen);
    if (!runHostCommand(command)) {
        return shot;
    }
    std::string data;
    const bool read = readFile(windowsPathOf(ppm), data);
    DeleteFileA(windowsPathOf(ppm).c_str());
    if (read && parsePpm(data, shot.width_, shot.height_, shot.pixels_)) {
        shot.path_ = png;
    } else {
        shot.width_ = shot.height_ = 0;
    }
    return shot;
}

Rgb Screenshot::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return Rgb{};
    }
    const std::size_t index = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + x) * 3;
    return Rgb{pixels_[index], pixels_[index + 1], pixels_[index + 2]};
}

int colourDistance(Rgb a, Rgb b) {
    return std::max({std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

Rgb rgbOf(std::uint32_t colour) {
    return Rgb{static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
               static_cast<int>((colour >> 16) & 0xFF)};
}

int pixelsNear(const Screenshot& shot, const launcher::Rect& area, std::uint32_t colour, int tolerance) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            count += colourDistance(shot.at(x, y), rgbOf(colour)) <= tolerance ? 1 : 0;
        }
    }
    return count;
}

std::string describe(Rgb colour) {
    return "rgb(" + std::to_string(colour.red) + ", " + std::to_string(colour.green) + ", " +
           std::to_string(colour.blue) + ")";
}

std::uint32_t mixColour(std::uint32_t a, std::uint32_t b, double t) {
    std::uint32_t mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double from = (a >> shift) & 0xFF;
        const double to = (b >> shift) & 0xFF;
        mixed |= static_cast<std::uint32_t>(from + (to - from) * t + 0.5) << shift;
    }
    return mixed;
}

std::string Pointer::at(int x, int y) const {
    RECT area{};
    GetWindowRect(window_, &area);
    return std::to_string(area.left + x) + " " + std::to_string(area.top + y);
}

bool Pointer::click(int x, int y) {
    return runHostCommand("xdotool mousemove " + at(x, y) + " sleep 0.1 click 1 sleep 0.1");
}

bool Pointer::move(int x, int y) {
    return runHostCommand("xdotool mousemove " + at(x, y) + " sleep 0.1");
}

bool Pointer::drag(int fromX, int fromY, const std::vector<std::pair<int, int>>& path) {
    std::string command = "xdotool mousemove " + at(fromX, fromY) + " sleep 0.1 mousedown 1 sleep 0.1";
    for (const auto& [x, y] : path) {
        command += " mousemove " + at(x, y) + " sleep 0.1";
    }
    return runHostCommand(command + " mouseup 1 sleep 0.1");
}

bool Pointer::wheel(int x, int y, int notches) {
    const std::string button = notches < 0 ? "5" : "4";
    std::string command = "xdotool mousemove " + at(x, y) + " sleep 0.1";
    for (int i = 0; i < std::abs(notches); ++i) {
        command += " click " + button + " sleep 0.05";
    }
    return runHostCommand(command);
}

bool Pointer::type(const std::string& text) {
    return runHostCommand("xdotool type --delay 40 " + quoted(text) + " && sleep 0.1");
}

bool Pointer::key(const std::string& keyName) {
    return runHostCommand("xdotool key " + quoted(keyName) + " && sleep 0.1");
}

} // namespace kyrtest
