#pragma once
// A 32-bit top-down bitmap in memory with a device context to draw into, and its pixels read directly.

#include "launcher_window/screen_tools_win.hpp"

#include <cstdint>

struct HDC__;
struct HBITMAP__;

namespace kyrtest {

class MemoryCanvas {
public:
    MemoryCanvas(int width, int height);
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    bool valid() const { return bits_ != nullptr; }
    HDC__* dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel at (x, y) once drawing has been flushed; black outside.
    Rgb at(int x, int y) const;

private:
    int width_;
    int height_;
    HDC__* dc_ = nullptr;
    HBITMAP__* bitmap_ = nullptr;
    void* previous_ = nullptr; // HGDIOBJ that the bitmap replaced
    std::uint32_t* bits_ = nullptr;
};

} // namespace kyrtest
