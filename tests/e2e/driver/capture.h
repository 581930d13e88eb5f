// Pixels from the screen: for recognising icons and for screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // 0x00RRGGBB, rows top to bottom

    uint32_t at(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
};

// Copies a rectangle of the screen (screen coordinates).
bool captureScreen(const RECT& rect, Pixels* out);
// Copies what a window shows on the screen, frame and caption included.
bool captureWindow(HWND window, Pixels* out);
// Renders an icon at its own size onto a plain background colour.
Pixels renderIcon(HICON icon, uint32_t background);
// Writes an uncompressed 24-bit BMP file.
bool writeBmp(const Pixels& pixels, const std::wstring& path);

}  // namespace e2e
