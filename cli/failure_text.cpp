#include "failure_text.h"

#include <cstdio>
#include <cstring>

#if !defined(_WIN32) && !defined(KV_PLATFORM_SIM)
#include <cerrno>
#define KV_ERRNO_CODES 1
#endif

namespace kvcli {
namespace {

std::string hex2(unsigned v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02Xh", v & 0xFFu);
    return b;
}

enum class ErrorKind { Permission, Gone, Other };

#ifdef KV_ERRNO_CODES
ErrorKind kindOf(uint32_t e)
{
    if (e == EPERM || e == EACCES)
        return ErrorKind::Permission;
    if (e == ENODEV || e == ENXIO || e == ENOENT || e == ENOMEDIUM)
        return ErrorKind::Gone;
    return ErrorKind::Other;
}

std::string errorName(uint32_t e)
{
    return "errno " + std::to_string(e) + ": " + std::strerror(static_cast<int>(e));
}

const char* kPermissionAdvice = "vendor commands need root (or the CAP_SYS_RAWIO capability); run korvane-cli as root";
#else
// Windows error codes (the simulated recorder reports the same).
ErrorKind kindOf(uint32_t e)
{
    if (e == 5)  // ERROR_ACCESS_DENIED
        return ErrorKind::Permission;
    if (e == 2 || e == 3 || e == 21 || e == 1167)  // not found, path not found, not ready, not connected
        return ErrorKind::Gone;
    return ErrorKind::Other;
}

std::string errorName(uint32_t e)
{
    static const struct {
        uint32_t code;
        const char* name;
    } names[] = {
        {1, "incorrect function"},        {2, "file not found"},
        {3, "path not found"},            {5, "access denied"},
        {6, "invalid handle"},            {21, "device not ready"},
        {31, "device not functioning"},   {55, "network resource no longer available"},
        {87, "invalid parameter"},        {121, "timed out"},
        {1117, "I/O device error"},       {1167, "device not connected"},
    };
    for (const auto& n : names)
        if (n.code == e)
            return "error " + std::to_string(e) + ": " + n.name;
    return "error " + std::to_string(e);
}

const char* kPermissionAdvice = "vendor commands need administrator rights; run korvane-cli as administrator";
#endif

std::string senseKeyName(uint8_t key)
{
    static const char* const names[16] = {
        "NO SENSE",        "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
        "HARDWARE ERROR",  "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
        "BLANK CHECK",     "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
        "sense key 0Ch",   "VOLUME OVERFLOW", "MISCOMPARE",     "sense key 0Fh",
    };
    return names[key & 0x0F];
}

std::string statusName(uint8_t status)
{
    switch (status) {
    case 0x02: return "CHECK CONDITION";
    case 0x08: return "BUSY";
    case 0x18: return "RESERVATION CONFLICT";
    case 0x28: return "TASK SET FULL";
    default: return "status " + hex2(status);
    }
}

}  // namespace

bool isPermissionError(uint32_t osError) { return kindOf(osError) == ErrorKind::Permission; }

FailureReport describeTransferFailure(const TransferFailure& f, const std::string& action)
{
    using R = TransferFailure::Reason;
    switch (f.reason) {
    case R::SystemCall:
        switch (kindOf(f.osError)) {
        case ErrorKind::Permission:
            return {kPermission, action + " was denied (" + errorName(f.osError) + "): " +
                                     kPermissionAdvice + "."};
        case ErrorKind::Gone:
            return {kDeviceError, action + " failed because the recorder is no longer there (" +
                                      errorName(f.osError) + "); plug it in again and retry."};
        case ErrorKind::Other:
            break;
        }
        return {kDeviceError, action + " failed: the pass-through call failed (" +
                                  errorName(f.osError) +
                                  "); unplug the recorder, plug it in again and retry."};
    case R::ScsiStatus: {
        std::string what = "the recorder answered " + statusName(f.scsiStatus);
        std::string advice = "try again";
        if (f.scsiStatus == 0x02) {
            what += ", " + senseKeyName(f.senseKey) + " (ASC " + hex2(f.asc) + ", ASCQ " + hex2(f.ascq) + ")";
            switch (f.senseKey) {
            case 0x02: advice = "the recorder is not ready: wait a few seconds and try again"; break;
            case 0x05: advice = "the device does not take this command: check that it is a supported recorder"; break;
            case 0x06: advice = "the recorder was reset or its medium changed: try again"; break;
            case 0x03:
            case 0x04: advice = "the recorder reports a fault: restart it and try again"; break;
            default: break;
            }
        } else if (f.scsiStatus == 0x08 || f.scsiStatus == 0x28) {
            advice = "the recorder is busy: wait a moment and try again";
        }
        return {kDeviceError, action + " failed: " + what + "; " + advice + "."};
    }
    case R::ShortAnswer:
        return {kDeviceError, action + " failed: the recorder answered " + std::to_string(f.delivered) +
                                  " of " + std::to_string(f.expected) +
                                  " bytes; try again, and if it persists the recorder's firmware may not support this command."};
    case R::Refused:
        return {kDeviceError, action + " failed: the request was larger than the library sends."};
    case R::None:
        break;
    }
    return {kDeviceError, action + " failed: the recorder did not answer as expected; try again."};
}

FailureReport describeNoRecorder(bool named, bool denied, uint32_t deniedError)
{
    if (denied)
        return {kPermission, "no recorder could be reached: access was denied (" + errorName(deniedError) +
                                 "); " + kPermissionAdvice + "."};
    if (named)
        return {kNoRecorder, "no recorder answers there; `korvane-cli list` shows where recorders are."};
    return {kNoRecorder, "no recorder found: plug one in (it shows up as a removable disk) and try again."};
}

}  // namespace kvcli
