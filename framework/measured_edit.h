// An edit control whose text is held to a limit in a measure of the caller's
// choice (bytes of a code page, say) rather than in characters. Whatever puts
// text in (typing, pasting, input methods, undo) takes only the characters
// that fit: a character that would pass the limit is not taken. A program's
// own SetWindowText is not limited, as with EM_LIMITTEXT.
#pragma once

#include "wnd.h"

struct TextMeasure {
    // How much of the measure `text` (`length` UTF-16 units) takes.
    int (*size)(const wchar_t* text, int length);
    // UTF-16 units of the longest start of `text`, in whole characters, that
    // takes at most `room`.
    int (*unitsWithin)(const wchar_t* text, int length, int room);
};

class CMeasuredEdit : public CEdit {
public:
    // Holds the bound control's text to `limit` in `measure`. Call it once the
    // control is bound (in OnInitDialog); it lasts as long as the control's window.
    void LimitMeasured(int limit, TextMeasure measure);

private:
    struct State {
        wchar_t* text;  // heap copy, or null for an empty text
        int length;
        DWORD selStart;
        DWORD selEnd;
    };

    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);
    bool Read(State* state);
    void Enforce(const State& before);

    WNDPROC m_previousProc = nullptr;
    HWND m_subclassed = nullptr;
    int m_limit = 0;
    TextMeasure m_measure = {nullptr, nullptr};
};
