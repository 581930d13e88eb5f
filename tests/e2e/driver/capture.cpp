#include "capture.h"

#include <cstdio>

namespace e2e {

namespace {

// Reads a device context's rectangle through a 32-bit top-down DIB section.
bool readPixels(HDC source, int x, int y, int width, int height, Pixels* out) {
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok) {
            out->width = width;
            out->height = height;
            const auto* p = static_cast<const uint32_t*>(bits);
            out->rgb.assign(p, p + size_t(width) * size_t(height));
            for (auto& v : out->rgb) v &= 0xFFFFFFu;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    return ok;
}

}  // namespace

bool captureScreen(const RECT& rect, Pixels* out) {
    HDC screen = GetDC(nullptr);
    const bool ok = readPixels(screen, rect.left, rect.top, rect.right - rect.left,
                               rect.bottom - rect.top, out);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool captureWindow(HWND window, Pixels* out) {
    RECT rect;
    return GetWindowRect(window, &rect) && captureScreen(rect, out);
}

Pixels renderIcon(HICON icon, uint32_t background) {
    const int width = GetSystemMetrics(SM_CXICON);
    const int height = GetSystemMetrics(SM_CYICON);
    Pixels out;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF,
                                        background & 0xFF));
    RECT all{0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    readPixels(memory, 0, 0, width, height, &out);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return out;
}

bool writeBmp(const Pixels& pixels, const std::wstring& path) {
    const int rowBytes = (pixels.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = pixels.width;
    header.biHeight = pixels.height;  // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(rowBytes) * DWORD(pixels.height);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&header, sizeof header, 1, f) == 1;
    std::vector<unsigned char> row(size_t(rowBytes), 0);
    for (int y = pixels.height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < pixels.width; ++x) {
            const uint32_t v = pixels.at(x, y);
            row[size_t(x) * 3 + 0] = static_cast<unsigned char>(v & 0xFF);
            row[size_t(x) * 3 + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
            row[size_t(x) * 3 + 2] = static_cast<unsigned char>((v >> 16) & 0xFF);
        }
        ok = std::fwrite(row.data(), row.size(), 1, f) == 1;
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace e2e
