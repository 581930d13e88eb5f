// The recorder behind a simulated drive: its state and its answers to the
// vendor commands, as status byte and payload.
#pragma once

#include "../devcmd/DeviceTime.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <vector>

namespace sim {

class Recorder {
public:
    Recorder();

    // How the recorder answers the probe: variant 1 puts 0xAA 0x55 in bytes 0-1,
    // variant 2 "AIT" in bytes 9-11. Tests may set both or neither.
    struct ProbeAnswer {
        bool aa55 = true;
        bool ait = false;
    } probe;
    void setVariant(int variant)
    {
        probe.aa55 = variant == 1;
        probe.ait = variant == 2;
    }
    // Factory state: password "000000", police number 13 zero bytes,
    // clock following the PC's.
    std::array<uint8_t, 6> password{};
    std::array<uint8_t, 13> policeNumber{};
    bool uDiskMode = false;
    // What storage reads (0x04, 0x06, 0x07) deliver: these bytes, then zeros.
    std::vector<uint8_t> storageReadData;
    int loginCount = 0;

    void resetToFactory();
    // The recorder's clock runs with the PC's, sub-second phase included: it
    // reads the PC's local time plus an offset. A set time starts counting
    // from the instant the command arrived (its second begins then).
    DeviceTime now() const;
    void setClock(const DeviceTime& t);
    // Recorder minus PC, in microseconds (positive: the recorder is ahead).
    int64_t clockOffsetMicros() const { return m_offsetMicros; }
    void setClockOffsetMicros(int64_t offset) { m_offsetMicros = offset; }
    // The PC clock the recorder runs by: microseconds since 1970 UTC.
    static int64_t pcMicros();

    // Fills `data` (`length` bytes, pre-zeroed by the caller) with the answer
    // to the probe command (0x01).
    void answerProbe(uint8_t* data, uint32_t length) const;
    // Answers a management command (0xFE): returns the number of response
    // bytes written to `response` (status byte first).
    uint32_t answerManagement(const uint8_t* cdb, uint8_t* response, uint32_t length);
    // Standard INQUIRY data for a removable disk (36 bytes).
    static void answerInquiry(uint8_t* data, uint32_t length, bool recorder);

private:
    int64_t m_offsetMicros = 0;
};

}  // namespace sim
