#include "icon.h"

#include "capture.h"
#include "wait.h"

#include <cstdlib>

namespace e2e {

namespace {

struct Reference {
    IconKind kind;
    WORD id;  // IDI_WARNING and so on (the macros are narrow in this build)
};

const Reference kReferences[] = {
    {IconKind::Warning, 32515},
    {IconKind::Error, 32513},
    {IconKind::Information, 32516},
    {IconKind::Question, 32514},
};

bool close(uint32_t a, uint32_t b) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (std::abs(d) > 24) return false;
    }
    return true;
}

// Share of the icon's opaque pixels (those that look the same on black and on
// white) that the screen shows at the same place.
double match(const Pixels& screen, HICON icon) {
    const Pixels onBlack = renderIcon(icon, 0x000000);
    const Pixels onWhite = renderIcon(icon, 0xFFFFFF);
    int opaque = 0, same = 0;
    for (int y = 0; y < onBlack.height && y < screen.height; ++y) {
        for (int x = 0; x < onBlack.width && x < screen.width; ++x) {
            if (onBlack.at(x, y) != onWhite.at(x, y)) continue;
            ++opaque;
            if (close(onBlack.at(x, y), screen.at(x, y))) ++same;
        }
    }
    return opaque ? double(same) / opaque : 0.0;
}

IconKind classifyOnce(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    Pixels screen;
    if (!captureScreen(rect, &screen)) return IconKind::Unknown;
    for (const auto& reference : kReferences) {
        if (match(screen, LoadIconW(nullptr, MAKEINTRESOURCEW(reference.id))) >= 0.95) return reference.kind;
    }
    return IconKind::Unknown;
}

}  // namespace

IconKind classifyIcon(HWND control) {
    DWORD_PTR icon = 0;
    if (!IsWindowVisible(control) ||
        !SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon) ||
        icon == 0) {
        return IconKind::None;
    }
    IconKind kind = IconKind::Unknown;
    waitUntil([&] { return (kind = classifyOnce(control)) != IconKind::Unknown; }, 3000, 20);
    return kind;
}

}  // namespace e2e
