#include "ui.h"

#include "icon.h"
#include "text.h"
#include "wait.h"

#include <cstdio>
#include <cstring>

namespace e2e {

namespace {

constexpr UINT kSendTimeoutMs = 5000;

struct EnumContext {
    DWORD processId;
    std::vector<HWND>* out;
    bool visibleDialogsOnly;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM param) {
    auto* context = reinterpret_cast<EnumContext*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != context->processId) return TRUE;
    if (context->visibleDialogsOnly &&
        (!IsWindowVisible(window) || className(window) != "#32770")) {
        return TRUE;
    }
    context->out->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows(DWORD processId, bool visibleDialogsOnly) {
    std::vector<HWND> out;
    EnumContext context{processId, &out, visibleDialogsOnly};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&context));
    return out;
}

LPARAM keyData(UINT virtualKey, bool up) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | LPARAM(scan) << 16;
    if (up) data |= LPARAM(0xC0000000u);
    return data;
}

void describe(HWND window, int depth, std::string* out) {
    char line[256];
    std::snprintf(line, sizeof line, "%*s%s id=%d style=%08lx%s \"", depth * 2, "",
                  className(window).c_str(), GetDlgCtrlID(window),
                  static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                  IsWindowVisible(window) ? "" : " hidden");
    *out += line;
    *out += narrow(windowText(window));
    *out += "\"\n";
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        describe(child, depth + 1, out);
    }
}

}  // namespace

std::vector<HWND> visibleDialogs(DWORD processId) { return topLevelWindows(processId, true); }

HWND findDialogWith(DWORD processId, int controlId) {
    for (HWND dialog : visibleDialogs(processId)) {
        if (GetDlgItem(dialog, controlId)) return dialog;
    }
    return nullptr;
}

std::wstring windowText(HWND window) {
    // The text may change between asking its length and reading it (a clock
    // label does): read into room to spare, and again with more room when full.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return {};
    }
    for (size_t room = size_t(length) + 256;; room *= 2) {
        std::wstring text(room, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXT, WPARAM(room),
                                 reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &copied)) {
            return {};
        }
        if (size_t(copied) + 1 < room || room > 65536) {
            text.resize(size_t(copied));
            return text;
        }
    }
}

std::wstring controlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control ? windowText(control) : std::wstring();
}

std::string className(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void typeText(HWND control, const std::wstring& text) {
    for (wchar_t c : text) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(control, WM_CHAR, WPARAM(c), 1, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &result);
    }
}

bool pasteText(HWND control, const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (memory) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!ok) GlobalFree(memory);
    }
    CloseClipboard();
    if (!ok) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_PASTE, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result) != 0;
}

void setText(HWND control, const std::wstring& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

void clickButton(HWND dialog, int controlId) {
    PostMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

void pressKey(HWND window, UINT virtualKey) {
    PostMessageW(window, WM_KEYDOWN, virtualKey, keyData(virtualKey, false));
    PostMessageW(window, WM_KEYUP, virtualKey, keyData(virtualKey, true));
}

void focusThroughDialogManager(HWND dialog, int controlId) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, controlId)),
                        TRUE, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

HWND focusedWindow(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

int focusedControlId(HWND dialog) {
    HWND focus = focusedWindow(dialog);
    if (!focus || GetParent(focus) != dialog) return 0;
    return GetDlgCtrlID(focus);
}

bool roundTrip(HWND window, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

const char* iconName(IconKind kind) {
    switch (kind) {
    case IconKind::None: return "none";
    case IconKind::Warning: return "warning";
    case IconKind::Error: return "error";
    case IconKind::Information: return "information";
    case IconKind::Question: return "question";
    case IconKind::Unknown: return "unknown";
    }
    return "?";
}

bool readMessageBox(HWND box, MessageBoxInfo* info) {
    if (!IsWindow(box)) return false;
    *info = {};
    info->window = box;
    info->owner = GetWindow(box, GW_OWNER);
    info->caption = windowText(box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::string cls = className(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (cls == "Button") {
            info->buttonIds.push_back(GetDlgCtrlID(child));
        } else if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            info->icon = classifyIcon(child);
        } else if (cls == "Static" && GetDlgCtrlID(child) == 0xFFFF) {
            info->text = windowText(child);
        }
    }
    return IsWindow(box) != FALSE;
}

HWND findMessageBox(DWORD processId, const std::vector<int>& dialogMarkers) {
    for (HWND dialog : visibleDialogs(processId)) {
        bool ours = false;
        for (int marker : dialogMarkers) ours = ours || GetDlgItem(dialog, marker) != nullptr;
        if (!ours) return dialog;
    }
    return nullptr;
}

bool dismissMessageBox(HWND box) {
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return waitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

std::string describeWindows(DWORD processId) {
    std::string out;
    for (HWND window : topLevelWindows(processId, false)) {
        if (className(window) == "IME") continue;
        describe(window, 0, &out);
    }
    return out.empty() ? std::string("(no windows)\n") : out;
}

}  // namespace e2e
