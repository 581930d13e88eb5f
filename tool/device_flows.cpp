#include "device_flows.h"

#include "pc_clock.h"

#include <cstring>

LoginResult LoginWithPassword(UsbScsiCmd& device, PasswordText& password)
{
    UppercasePassword(password);
    return CmdLogin(device, password) ? LoginResult::Accepted : LoginResult::Refused;
}

TimeSyncResult RunTimeSync(UsbScsiCmd& device, DeviceTime (*now)())
{
    DeviceSession session(device);
    if (!device.Open())
        return TimeSyncResult::NoRecorder;
    // The recorder starts the second it is given when the command arrives:
    // sent right after the PC's second boundary, it starts it with the PC.
    pcclock::waitForNextSecond();
    const DeviceTime time = now();
    return CmdSetTime(device, &time) ? TimeSyncResult::Done : TimeSyncResult::Refused;
}

int RunIntoUDiskMode(UsbScsiCmd& device)
{
    DeviceSession session(device);
    if (!device.Open())
        return 0;
    return CmdIntoUDiskMode(device) ? 1 : 0;
}

ChangePasswordResult RunChangePassword(UsbScsiCmd& device, PasswordText& oldPassword,
                                       PasswordText& newPassword, PasswordText& newPasswordAgain)
{
    DeviceSession session(device);
    if (!device.Open())
        return ChangePasswordResult::NoRecorder;
    if (LoginWithPassword(device, oldPassword) != LoginResult::Accepted)
        return ChangePasswordResult::OldPasswordRefused;
    if (std::strncmp(newPassword, newPasswordAgain, kPasswordLength) != 0)
        return ChangePasswordResult::NewPasswordsDiffer;
    UppercasePassword(newPassword);
    if (!CmdSetPassword(device, newPassword))
        return ChangePasswordResult::SetFailed;
    return ChangePasswordResult::Done;
}

SetNumberResult RunSetNumber(UsbScsiCmd& device, const PoliceNumberText& number)
{
    DeviceSession session(device);
    if (!device.Open())
        return SetNumberResult::NoRecorder;
    return CmdSetID(device, number) ? SetNumberResult::Done : SetNumberResult::Refused;
}
