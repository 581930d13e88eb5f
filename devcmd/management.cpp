// Management commands (operation 0xFE). Each is a data-in transfer whose first
// response byte is the recorder's status.
#include "management.h"

#include <cstring>

namespace {

// One management command: block and response buffer, fresh for every routine.
struct Exchange {
    VendorCdb cdb;
    uint8_t response[16];

    explicit Exchange(uint8_t subOperation)
    {
        std::memset(&cdb, 0, sizeof cdb);
        std::memset(response, 0, sizeof response);
        cdb.bytes[3] = vendor::kOpManagement;
        cdb.bytes[4] = subOperation;
    }

    // 1 when the transfer completed; response bytes 0..length-1 then hold the answer.
    int send(UsbScsiCmd& device, uint32_t length)
    {
        return ExecuteVendorCommand(&device, response, &cdb, length, kDirectionIn);
    }

    uint8_t status() const { return response[0]; }
};

// Login and set-password: the six password bytes in block bytes 5 to 10.
Exchange passwordExchange(uint8_t subOperation, const char* password)
{
    Exchange x(subOperation);
    std::memcpy(&x.cdb.bytes[5], password, kPasswordLength);
    return x;
}

}  // namespace

int CmdLogin(UsbScsiCmd& device, const char* password)
{
    Exchange x = passwordExchange(vendor::kSubLogin, password);
    if (!x.send(device, 1))
        return 0;
    return x.status() != 0 ? 1 : 0;
}

int CmdSetPassword(UsbScsiCmd& device, const char* password)
{
    Exchange x = passwordExchange(vendor::kSubSetPassword, password);
    return x.send(device, 1);
}

int CmdSetTime(UsbScsiCmd& device, const DeviceTime* time)
{
    Exchange x(vendor::kSubSetTime);
    x.cdb.bytes[5] = static_cast<uint8_t>(time->year / 100);
    x.cdb.bytes[6] = static_cast<uint8_t>(time->year % 100);
    x.cdb.bytes[7] = static_cast<uint8_t>(time->month);
    x.cdb.bytes[8] = static_cast<uint8_t>(time->day);
    x.cdb.bytes[9] = static_cast<uint8_t>(time->hour);
    x.cdb.bytes[10] = static_cast<uint8_t>(time->minute);
    x.cdb.bytes[11] = static_cast<uint8_t>(time->second);
    // A transfer that never reached the recorder has not set its clock.
    if (!x.send(device, 1))
        return 0;
    return x.status() != 0 ? 1 : 0;
}

int CmdGetTime(UsbScsiCmd& device, DeviceTime* time)
{
    Exchange x(vendor::kSubGetTime);
    if (!x.send(device, 8))
        return 0;
    if (x.status() != 1)
        return x.status();
    const uint8_t* r = x.response;
    time->year = static_cast<uint16_t>(r[1] * 100 + r[2]);
    time->month = r[3];
    time->day = r[4];
    time->hour = r[5];
    time->minute = r[6];
    time->second = r[7];
    return 1;
}

int CmdSetID(UsbScsiCmd& device, const char* number)
{
    Exchange x(vendor::kSubSetIdFirst);
    std::memcpy(&x.cdb.bytes[5], number, 6);
    // The second part only follows a first part that the recorder took.
    if (!x.send(device, 1) || x.status() == 0)
        return 0;
    x.cdb.bytes[4] = vendor::kSubSetIdSecond;
    std::memcpy(&x.cdb.bytes[5], number + 6, 7);
    if (!x.send(device, 1))
        return 0;
    return x.status() != 0 ? 1 : 0;
}

int CmdGetID(UsbScsiCmd& device, char* out)
{
    Exchange x(vendor::kSubGetIdFirst);
    if (!x.send(device, 7))
        return 0;
    if (x.status() != 1)
        return x.status();
    char number[kPoliceNumberBufferSize];
    std::memcpy(number, &x.response[1], 6);

    x.cdb.bytes[4] = vendor::kSubGetIdSecond;
    if (!x.send(device, 8))
        return 0;
    if (x.status() != 1)
        return x.status();
    std::memcpy(number + 6, &x.response[1], 7);
    number[13] = 0;
    // Only a whole number reaches the caller.
    std::memcpy(out, number, sizeof number);
    return 1;
}

int CmdIntoUDiskMode(UsbScsiCmd& device)
{
    Exchange x(vendor::kSubIntoUDiskMode);
    return x.send(device, 1);
}
