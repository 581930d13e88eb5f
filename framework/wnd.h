// Windows as objects: a CWnd wraps one window handle; controls of a dialog are
// CWnd objects bound to their control ids (see DDX_Control in dialog.h).
// Windows are Unicode windows: their texts are UTF-16, whatever the system's
// code page.
#pragma once

#include "cmdtarget.h"

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }

    BOOL ShowWindow(int nCmdShow);
    BOOL IsIconic() const;
    void GetClientRect(LPRECT rect) const;
    void SetWindowText(LPCWSTR text);
    // Copies at most size - 1 UTF-16 units of the text and a terminating zero.
    int GetWindowText(LPWSTR buffer, int size) const;
    // UTF-16 units of the text.
    int GetWindowTextLength() const;
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    HICON SetIcon(HICON icon, BOOL bigIcon);

protected:
    // Called from a handler: the platform's default handling of the message
    // being handled runs once the handler has returned.
    void Default() { m_defaultRequested = true; }
    afx_msg void OnPaint() { Default(); }

    bool m_defaultRequested = false;
};

class CEdit : public CWnd {
public:
    // At most `chars` UTF-16 units can be typed or pasted.
    void LimitText(int chars) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(chars), 0); }
};

class CStatic : public CWnd {};

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    operator LPRECT() { return this; }
};

// Painting in a WM_PAINT handler: BeginPaint on construction, EndPaint on destruction.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

    PAINTSTRUCT m_ps;
    HDC m_hDC;

private:
    HWND m_hWnd;
};

// The hourglass while a blocking operation runs on the user-interface thread;
// the previous cursor comes back on destruction.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(::SetCursor(::LoadCursor(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_previous;
};
