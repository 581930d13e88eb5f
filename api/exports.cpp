// The exported functions: each a thin layer over one device routine, on the
// library-wide device object.
#include "RKM51DLL.h"
#include "export_lock.h"

#include "management.h"

#ifdef _WIN32
SRWLOCK ExportLock::s_lock = SRWLOCK_INIT;
#else
std::mutex ExportLock::s_lock;
#endif

namespace {

// Lives as long as the library; statically initialised with a null handle.
UsbScsiCmd g_device;

// The recorder for an export that talks to it: the handle CConnectDV kept, or,
// after CDisconnectDV (or with none kept yet), a fresh discovery. Called with
// the lock held. When nothing is found the command goes out on the null
// handle and fails there, as it always has.
UsbScsiCmd& Recorder()
{
    if (g_device.handle() == nullptr)
        g_device.Open();
    return g_device;
}

}  // namespace

extern "C" {

int RKM51_CALL CConnectDV(void)
{
    ExportLock lock;
    return g_device.Open();
}

// Gives the volume handle back, so that Windows lets the recorder be removed
// safely while the calling program runs on.
int RKM51_CALL CDisconnectDV(void)
{
    ExportLock lock;
    return g_device.Close();
}

int RKM51_CALL CLogin(char* password)
{
    if (password == nullptr)
        return 0;
    ExportLock lock;
    return CmdLogin(Recorder(), UppercasePassword(password));
}

int RKM51_CALL CSetPassword(char* password)
{
    if (password == nullptr)
        return 0;
    ExportLock lock;
    return CmdSetPassword(Recorder(), UppercasePassword(password));
}

int RKM51_CALL CSetTime(const RecorderTime* time)
{
    if (time == nullptr)
        return 0;
    const DeviceTime t = {static_cast<uint16_t>(time->year), static_cast<uint16_t>(time->month),
                          static_cast<uint16_t>(time->day), static_cast<uint16_t>(time->hour),
                          static_cast<uint16_t>(time->minute), static_cast<uint16_t>(time->second)};
    ExportLock lock;
    return CmdSetTime(Recorder(), &t);
}

int RKM51_CALL CGetTime(RecorderTime* time)
{
    if (time == nullptr)
        return 0;
    DeviceTime t = {0, 0, 0, 0, 0, 0};
    int result;
    {
        ExportLock lock;
        result = CmdGetTime(Recorder(), &t);
    }
    time->year = t.year;
    time->month = t.month;
    time->day = t.day;
    time->hour = t.hour;
    time->minute = t.minute;
    time->second = t.second;
    return result;
}

int RKM51_CALL CSetID(const char* number)
{
    if (number == nullptr)
        return 0;
    ExportLock lock;
    return CmdSetID(Recorder(), number);
}

int RKM51_CALL CGetID(char* number)
{
    if (number == nullptr)
        return 0;
    ExportLock lock;
    return CmdGetID(Recorder(), number);
}

int RKM51_CALL CIntoUDiskMode(void)
{
    ExportLock lock;
    return CmdIntoUDiskMode(Recorder());
}

}  // extern "C"
