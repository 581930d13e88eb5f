// What the dialogs' buttons do with the recorder, apart from the dialogs: each
// flow finds the recorder with Open on the caller's fresh device object, sends
// its management commands, and gives the volume handle back (Close) before it
// returns, whatever the outcome, so that Windows can safely remove the recorder.
#pragma once

#include "DeviceSession.h"
#include "UsbScsiCmd.h"
#include "management.h"

// Text buffers as the dialogs read them from their fields: the text, a
// terminating zero, zero bytes to the end.
using PasswordText = char[kPasswordLength + 1];
using PoliceNumberText = char[kPoliceNumberBufferSize];

enum class LoginResult { NoRecorder, Refused, Accepted };

// Upper-cases the password (a to z) and sends the login command.
LoginResult LoginWithPassword(UsbScsiCmd& device, PasswordText& password);

// Login: discovery first; only once a recorder answered is the password read,
// by readPassword(char* buffer, int size) into a zero-filled buffer.
template <class ReadPassword>
LoginResult RunLogin(UsbScsiCmd& device, ReadPassword&& readPassword)
{
    DeviceSession session(device);
    if (!device.Open())
        return LoginResult::NoRecorder;
    PasswordText password = {0};
    readPassword(password, static_cast<int>(sizeof password));
    return LoginWithPassword(device, password);
}

enum class TimeSyncResult { NoRecorder, Refused, Done };

// Sets the recorder's clock to now(), taken once the recorder has answered and
// the PC clock has passed its next second boundary (at most a second later).
TimeSyncResult RunTimeSync(UsbScsiCmd& device, DeviceTime (*now)());

// Switches the recorder into USB-disk mode; 1 when a recorder was found and
// the command delivered (the menu shows nothing either way).
int RunIntoUDiskMode(UsbScsiCmd& device);

enum class ChangePasswordResult {
    NoRecorder,
    OldPasswordRefused,
    NewPasswordsDiffer,
    SetFailed,
    Done,
};

// Checks the old password with the login command (upper-cased, as the login
// dialog sends it), then that the two new entries are equal (case-sensitive,
// before upper-casing), then sends the upper-cased new password. The buffers
// are upper-cased in place.
ChangePasswordResult RunChangePassword(UsbScsiCmd& device, PasswordText& oldPassword,
                                       PasswordText& newPassword, PasswordText& newPasswordAgain);

enum class SetNumberResult { NoRecorder, Refused, Done };

// Writes the police number (its first 13 bytes, as typed).
SetNumberResult RunSetNumber(UsbScsiCmd& device, const PoliceNumberText& number);
