#pragma once
// Seeing and driving the launcher window from the outside, under Wine on a private X server: screenshots
// with ImageMagick and pointer and keyboard input with xdotool, both run on the host. Wine starts host
// programs without a process handle, so each command runs from a script that leaves a marker file when
// it ends; the caller keeps pumping window messages meanwhile, so the window reacts to the input.

#include "launcher/ui/layout.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct HWND__;

namespace kyrtest {

// Dispatches what is queued for this thread's windows, for about ms milliseconds.
void pumpMessages(int ms);

// The folder (host path) where screenshots are kept as build artifacts.
std::string screenshotFolder();

// Runs command with /bin/sh on the host; true when it ended in time with exit status 0.
bool runHostCommand(const std::string& command, int timeoutMs = 15000);

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

// One capture of the window's area of the screen, with its pixels.
class Screenshot {
public:
    // Captures the X screen with "import -window root", keeps the window's area as NAME.png in the
    // screenshot folder and loads its pixels. valid() is false when capturing failed.
    static Screenshot capture(HWND__* window, const std::string& name);

    bool valid() const { return width_ > 0; }
    const std::string& path() const { return path_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel at window coordinates; black outside.
    Rgb at(int x, int y) const;

private:
    std::string path_;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// How far apart two colours are: the largest difference of one channel.
int colourDistance(Rgb a, Rgb b);
Rgb rgbOf(std::uint32_t colour); // from 0x00BBGGRR
std::string describe(Rgb colour);
// The colour a share t of the way from a to b (0x00BBGGRR), as a two-colour gradient has it.
std::uint32_t mixColour(std::uint32_t a, std::uint32_t b, double t);

// Pixels of area within tolerance (largest difference of one channel) of colour (0x00BBGGRR).
int pixelsNear(const Screenshot& shot, const launcher::Rect& area, std::uint32_t colour, int tolerance);

struct PixelCase {
    const char* name;
    int x, y;
    std::uint32_t want; // 0x00BBGGRR
    int tolerance;      // largest difference of one channel
};

// Checks pixels of anything with at(x, y) giving an Rgb: a screenshot or a memory canvas.
template <typename Image> void expectPixels(const Image& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Rgb got = image.at(c.x, c.y);
        EXPECT_LE(colourDistance(got, rgbOf(c.want)), c.tolerance)
            << "at " << c.x << "," << c.y << " got " << describe(got) << ", want " << describe(rgbOf(c.want));
    }
}

// xdotool input at window coordinates (the window's screen position is added).
class Pointer {
public:
    explicit Pointer(HWND__* window) : window_(window) {}

    bool click(int x, int y);
    bool move(int x, int y);
    // Press at from, move to each point in turn, release at the last.
    bool drag(int fromX, int fromY, const std::vector<std::pair<int, int>>& path);
    // Wheel notches at (x, y): negative scrolls down (towards the user), positive up.
    bool wheel(int x, int y, int notches);
    bool type(const std::string& text);
    bool key(const std::string& keyName);

private:
    std::string at(int x, int y) const;
    HWND__* window_;
};

} // namespace kyrtest
