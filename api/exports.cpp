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

}  // namespace

extern "C" {

int RKM51_CALL CConnectDV(void)
{
    ExportLock lock;
    return g_device.Open();
}

int RKM51_CALL CDisconnectDV(void) { return 1; }

int RKM51_CALL CLogin(char* password)
{
    if (password == nullptr)
        return 0;
    ExportLock lock;
    return CmdLogin(g_device, UppercasePassword(password));
}

int RKM51_CALL CSetPassword(char* password)
{
    if (password == nullptr)
        return 0;
    ExportLock lock;
    return CmdSetPassword(g_device, UppercasePassword(password));
}

int RKM51_CALL CSetTime(const RecorderTime* time)
{
    if (time == nullptr)
        return 0;
    const DeviceTime t = {static_cast<uint16_t>(time->year), static_cast<uint16_t>(time->month),
                          static_cast<uint16_t>(time->day), static_cast<uint16_t>(time->hour),
                          static_cast<uint16_t>(time->minute), static_cast<uint16_t>(time->second)};
    ExportLock lock;
    return CmdSetTime(g_device, &t);
}

int RKM51_CALL CGetTime(RecorderTime* time)
{
    if (time == nullptr)
        return 0;
    DeviceTime t = {0, 0, 0, 0, 0, 0};
    int result;
    {
        ExportLock lock;
        result = CmdGetTime(g_device, &t);
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
    return CmdSetID(g_device, number);
}

int RKM51_CALL CGetID(char* number)
{
    if (number == nullptr)
        return 0;
    ExportLock lock;
    return CmdGetID(g_device, number);
}

int RKM51_CALL CIntoUDiskMode(void)
{
    ExportLock lock;
    return CmdIntoUDiskMode(g_device);
}

}  // extern "C"
