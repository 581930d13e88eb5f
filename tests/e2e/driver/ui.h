// Driving the dialogs of another process from outside, by control id: finding
// its dialog windows, reading and typing text, pressing buttons and keys,
// reading focus, and reading message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// Visible top-level dialog windows (class #32770) of a process, topmost first.
std::vector<HWND> visibleDialogs(DWORD processId);
// The visible dialog of a process that has a control with this id, or null.
HWND findDialogWith(DWORD processId, int controlId);

// The text of a window as its own window procedure gives it (WM_GETTEXT; a
// narrow window's text arrives converted from its code page). Empty when the
// window does not answer within a few seconds.
std::wstring windowText(HWND window);
std::wstring controlText(HWND dialog, int controlId);
std::string className(HWND window);

// Types characters one by one as keyboard input does (WM_CHAR), so the
// control's own limits apply. Returns when the control has handled them.
void typeText(HWND control, const std::wstring& text);
// Pastes through the clipboard (WM_PASTE). False when the clipboard is not available.
bool pasteText(HWND control, const std::wstring& text);
// Replaces the whole text as a program would (WM_SETTEXT, no limit applies).
void setText(HWND control, const std::wstring& text);

// Presses a button as a mouse click does (BM_CLICK, posted: a handler that
// opens a message box does not block the driver).
void clickButton(HWND dialog, int controlId);
// Posts a key press (down and up) to a window, as the keyboard would deliver
// it to the window with the focus; the dialog manager sees it in its loop.
void pressKey(HWND window, UINT virtualKey);
// Gives the focus to a control through the dialog manager (WM_NEXTDLGCTL), so
// a push button becomes the default button as Tab would make it.
void focusThroughDialogManager(HWND dialog, int controlId);

// The window with the keyboard focus in the thread that owns `window`.
HWND focusedWindow(HWND window);
// Id of the focused control if it is a child of `dialog`, else 0.
int focusedControlId(HWND dialog);

// Returns once the thread that owns `window` has taken a sent message, that
// is once it is back in a message loop (of its dialog or of a message box).
bool roundTrip(HWND window, DWORD timeoutMs = 10000);

enum class IconKind { None, Warning, Error, Information, Question, Unknown };
const char* iconName(IconKind kind);

struct MessageBoxInfo {
    HWND window = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    IconKind icon = IconKind::None;
    std::vector<int> buttonIds;
};

// Reads a message box window: caption, text, icon (by the pixels it shows),
// owner and buttons. False when the window is gone.
bool readMessageBox(HWND box, MessageBoxInfo* info);

// The visible message box of a process: a dialog window that has none of the
// program's own dialogs' marker controls. Null when none is shown.
HWND findMessageBox(DWORD processId, const std::vector<int>& dialogMarkers);
// Presses the message box's OK button and waits until the box is gone.
bool dismissMessageBox(HWND box);

// Every window of a process with its children: class, id, style, visibility,
// text. For failure messages.
std::string describeWindows(DWORD processId);

}  // namespace e2e
