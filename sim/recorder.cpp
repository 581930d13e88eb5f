#include "recorder.h"

#include "../devcmd/VendorCdb.h"

#include <chrono>
#include <cstring>

namespace sim {
namespace {

bool plausible(const DeviceTime& t)
{
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 &&
           t.minute <= 59 && t.second <= 59;
}

}  // namespace

Recorder::Recorder() { resetToFactory(); }

void Recorder::resetToFactory()
{
    std::memcpy(password.data(), "000000", 6);
    policeNumber.fill(0);
    uDiskMode = false;
    loginCount = 0;
    m_offsetMicros = 0;
}

int64_t Recorder::pcMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

DeviceTime Recorder::now() const
{
    const int64_t micros = pcMicros() + m_offsetMicros;
    int64_t seconds = micros / 1000000;
    if (micros % 1000000 < 0)
        --seconds;
    return deviceTimeAt(static_cast<std::time_t>(seconds));
}

void Recorder::setClock(const DeviceTime& t)
{
    m_offsetMicros = static_cast<int64_t>(secondsOfLocal(t)) * 1000000 - pcMicros();
}

void Recorder::answerProbe(uint8_t* data, uint32_t length) const
{
    if (probe.aa55 && length >= 2) {
        data[0] = 0xAA;
        data[1] = 0x55;
    }
    if (probe.ait && length >= 12) {
        data[9] = 'A';
        data[10] = 'I';
        data[11] = 'T';
    }
}

uint32_t Recorder::answerManagement(const uint8_t* cdb, uint8_t* response, uint32_t length)
{
    uint8_t r[16] = {};
    uint32_t size = 1;
    switch (cdb[4]) {
    case vendor::kSubLogin:
        ++loginCount;
        r[0] = std::memcmp(cdb + 5, password.data(), 6) == 0 ? 1 : 0;
        break;
    case vendor::kSubSetPassword:
        std::memcpy(password.data(), cdb + 5, 6);
        r[0] = 1;
        break;
    case vendor::kSubSetTime: {
        DeviceTime t{static_cast<uint16_t>(cdb[5] * 100 + cdb[6]), cdb[7], cdb[8], cdb[9], cdb[10], cdb[11]};
        // A recorder refuses a date it cannot hold.
        if (plausible(t)) {
            setClock(t);
            r[0] = 1;
        }
        break;
    }
    case vendor::kSubGetTime: {
        const DeviceTime t = now();
        const uint8_t bytes[8] = {1, static_cast<uint8_t>(t.year / 100), static_cast<uint8_t>(t.year % 100),
                                  static_cast<uint8_t>(t.month), static_cast<uint8_t>(t.day),
                                  static_cast<uint8_t>(t.hour), static_cast<uint8_t>(t.minute),
                                  static_cast<uint8_t>(t.second)};
        std::memcpy(r, bytes, sizeof bytes);
        size = 8;
        break;
    }
    case vendor::kSubSetIdFirst:
        std::memcpy(policeNumber.data(), cdb + 5, 6);
        r[0] = 1;
        break;
    case vendor::kSubSetIdSecond:
        std::memcpy(policeNumber.data() + 6, cdb + 5, 7);
        r[0] = 1;
        break;
    case vendor::kSubGetIdFirst:
        r[0] = 1;
        std::memcpy(r + 1, policeNumber.data(), 6);
        size = 7;
        break;
    case vendor::kSubGetIdSecond:
        r[0] = 1;
        std::memcpy(r + 1, policeNumber.data() + 6, 7);
        size = 8;
        break;
    case vendor::kSubIntoUDiskMode:
        uDiskMode = true;
        r[0] = 1;
        break;
    default:
        r[0] = 0;  // unknown sub-operation: refused
        break;
    }
    if (size > length)
        size = length;
    std::memcpy(response, r, size);
    return size;
}

void Recorder::answerInquiry(uint8_t* data, uint32_t length, bool recorder)
{
    uint8_t inquiry[36] = {0x00, 0x80, 0x02, 0x02, 31, 0, 0, 0};
    std::memcpy(inquiry + 8, recorder ? "KORVANE " : "GENERIC ", 8);
    std::memcpy(inquiry + 16, recorder ? "Recorder Disk   " : "USB Flash Disk  ", 16);
    std::memcpy(inquiry + 32, "1.00", 4);
    if (!recorder)
        inquiry[1] = 0x00;  // fixed disk
    std::memcpy(data, inquiry, length < sizeof inquiry ? length : sizeof inquiry);
}

}  // namespace sim
