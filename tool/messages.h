// What the dialogs tell the user after an action: one table of every result
// they report, with its text and message-box flags.
#pragma once

#include "device_flows.h"

// Whether a field's text can go to the recorder as it stands (see field_text.h).
enum class FieldTextResult { Encoded, NotEncodable };

// The message-box flags of the table: a success shows no icon, a failure the
// warning icon (the values of MB_OK and MB_ICONWARNING).
constexpr unsigned kMessageSuccess = 0x00;
constexpr unsigned kMessageFailure = 0x30;

// Which result type a row belongs to.
enum class ResultKind { Login, TimeSync, ChangePassword, SetNumber, PoliceNumberText };

struct ResultMessage {
    ResultKind kind;
    int result;  // the value of that kind's result
    const wchar_t* text;
    unsigned flags;  // kMessageSuccess or kMessageFailure
};

constexpr ResultKind KindOf(LoginResult) { return ResultKind::Login; }
constexpr ResultKind KindOf(TimeSyncResult) { return ResultKind::TimeSync; }
constexpr ResultKind KindOf(ChangePasswordResult) { return ResultKind::ChangePassword; }
constexpr ResultKind KindOf(SetNumberResult) { return ResultKind::SetNumber; }
// The police-number field only: the password fields are sent whatever they hold.
constexpr ResultKind KindOf(FieldTextResult) { return ResultKind::PoliceNumberText; }

// The row of a result; null for a result that has no message.
const ResultMessage* FindResultMessage(ResultKind kind, int result);

template <class Result>
const ResultMessage* FindResultMessage(Result result)
{
    return FindResultMessage(KindOf(result), static_cast<int>(result));
}
