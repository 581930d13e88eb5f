// What every dialog of korvane shares: its message boxes and its exit button.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "messages.h"

static_assert(kMessageSuccess == MB_OK && kMessageFailure == MB_ICONWARNING,
              "the message table's flags are message-box flags");

// A message box with no owner window and the caption "提示"; `flags` is MB_OK
// for a success or MB_ICONWARNING for a failure.
inline void ShowMessage(const wchar_t* text, UINT flags)
{
    ::MessageBoxW(nullptr, text, L"提示", flags);
}

// The message of a result, from the one table of messages (messages.cpp).
template <class Result>
void ShowResultMessage(Result result)
{
    if (const ResultMessage* message = FindResultMessage(result))
        ShowMessage(message->text, message->flags);
}

// The exit buttons: the quit message ends every open dialog in turn, and with
// the login dialog the program.
inline void ExitProgram() { ::PostQuitMessage(0); }
