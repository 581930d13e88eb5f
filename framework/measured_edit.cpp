#include "measured_edit.h"

#include <new>

namespace {

const wchar_t kThisProperty[] = L"kvframework.CMeasuredEdit";

// Messages after which the control may hold text it did not hold before, other
// than the program's own WM_SETTEXT. Keys and the context menu are among them:
// an edit control pastes, cuts and undoes from its own key and menu handling
// without sending itself a message.
bool MayPutTextIn(UINT message)
{
    switch (message) {
    case WM_CHAR:
    case WM_UNICHAR:
    case WM_IME_CHAR:
    case WM_IME_COMPOSITION:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_SYSCHAR:
    case WM_CONTEXTMENU:
    case WM_PASTE:
    case WM_UNDO:
    case EM_UNDO:
    case EM_REPLACESEL:
        return true;
    default:
        return false;
    }
}

int CommonPrefix(const wchar_t* a, int aLength, const wchar_t* b, int bLength)
{
    int n = 0;
    while (n < aLength && n < bLength && a[n] == b[n])
        ++n;
    return n;
}

int CommonSuffix(const wchar_t* a, int aLength, const wchar_t* b, int bLength)
{
    int n = 0;
    while (n < aLength && n < bLength && a[aLength - 1 - n] == b[bLength - 1 - n])
        ++n;
    return n;
}

}  // namespace

void CMeasuredEdit::LimitMeasured(int limit, TextMeasure measure)
{
    m_limit = limit;
    m_measure = measure;
    if (m_hWnd == nullptr || m_subclassed == m_hWnd)
        return;
    if (!::SetPropW(m_hWnd, kThisProperty, this))
        return;
    m_previousProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMeasuredEdit::SubclassProc)));
    if (m_previousProc == nullptr) {
        ::RemovePropW(m_hWnd, kThisProperty);
        return;
    }
    m_subclassed = m_hWnd;
}

LRESULT CALLBACK CMeasuredEdit::SubclassProc(HWND hWnd, UINT message, WPARAM wParam,
                                             LPARAM lParam)
{
    auto* edit = static_cast<CMeasuredEdit*>(::GetPropW(hWnd, kThisProperty));
    if (edit == nullptr || edit->m_subclassed != hWnd)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window's last message: the control gets its own procedure back.
        const WNDPROC previous = edit->m_previousProc;
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(hWnd, kThisProperty);
        edit->m_previousProc = nullptr;
        edit->m_subclassed = nullptr;
        return ::CallWindowProcW(previous, hWnd, message, wParam, lParam);
    }
    if (!MayPutTextIn(message))
        return edit->CallPrevious(message, wParam, lParam);

    State before = {};
    const bool known = edit->Read(&before);
    const LRESULT result = edit->CallPrevious(message, wParam, lParam);
    // The window may be gone after a nested message loop (a context menu).
    if (known && edit->m_subclassed == hWnd)
        edit->Enforce(before);
    delete[] before.text;
    return result;
}

LRESULT CMeasuredEdit::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::CallWindowProcW(m_previousProc, m_subclassed, message, wParam, lParam);
}

bool CMeasuredEdit::Read(State* state)
{
    *state = {};
    const int length = static_cast<int>(CallPrevious(WM_GETTEXTLENGTH, 0, 0));
    if (length > 0) {
        state->text = new (std::nothrow) wchar_t[static_cast<size_t>(length) + 1];
        if (state->text == nullptr)
            return false;
        state->length = static_cast<int>(CallPrevious(
            WM_GETTEXT, static_cast<WPARAM>(length) + 1, reinterpret_cast<LPARAM>(state->text)));
    }
    CallPrevious(EM_GETSEL, reinterpret_cast<WPARAM>(&state->selStart),
                 reinterpret_cast<LPARAM>(&state->selEnd));
    return true;
}

void CMeasuredEdit::Enforce(const State& before)
{
    State after = {};
    if (!Read(&after))
        return;
    const wchar_t* now = after.text != nullptr ? after.text : L"";
    if (m_measure.size(now, after.length) <= m_limit) {
        delete[] after.text;
        return;
    }

    // What the message put in lies between the text that stayed in front of
    // it (at most up to where the selection began) and the text that stayed
    // behind it.
    const wchar_t* old = before.text != nullptr ? before.text : L"";
    const DWORD selFirst = before.selStart < before.selEnd ? before.selStart : before.selEnd;
    int front = CommonPrefix(old, before.length, now, after.length);
    if (static_cast<DWORD>(front) > selFirst)
        front = static_cast<int>(selFirst);
    int back = CommonSuffix(old + front, before.length - front, now + front, after.length - front);
    const int insertedLength = after.length - front - back;
    if (insertedLength <= 0) {
        // Only taken out: a text set over the limit by the program may shrink.
        delete[] after.text;
        return;
    }
    const int room = m_limit - m_measure.size(now, front) -
                     m_measure.size(now + after.length - back, back);
    const int taken = room > 0 ? m_measure.unitsWithin(now + front, insertedLength, room) : 0;

    if (taken == 0) {
        // Nothing of it fits: the text and the selection as they were.
        CallPrevious(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(old));
        CallPrevious(EM_SETSEL, before.selStart, before.selEnd);
    } else {
        // The characters that fit, the caret behind them. The text behind the
        // insertion moves up to close the gap.
        wchar_t* const text = after.text;
        const int tail = back;
        for (int i = 0; i < tail; ++i)
            text[front + taken + i] = text[after.length - back + i];
        text[front + taken + tail] = L'\0';
        CallPrevious(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        const WPARAM caret = static_cast<WPARAM>(front + taken);
        CallPrevious(EM_SETSEL, caret, static_cast<LPARAM>(caret));
    }
    delete[] after.text;
}
