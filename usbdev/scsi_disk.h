// The recorder's one logical unit: a removable disk over a FAT image that
// also takes the recorder's vendor command blocks, which go to the recorder
// model shared with the simulated storage stack.
#pragma once

#include "bot.h"
#include "faults.h"
#include "recorder.h"
#include "sense.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace usbdev {

struct Outcome {
    CswStatus status = CswStatus::Passed;
    std::vector<uint8_t> dataIn;  // what goes to the host, at most the host's length
    uint32_t dataOutTaken = 0;    // data-out bytes the command used
    bool stall = false;           // halt bulk-in instead of sending data
    uint32_t delayMs = 0;         // answer this much later
    bool unplugAfter = false;     // leave the bus once the status is sent
    std::string note;             // what a fault did, for the log
};

class ScsiDisk {
public:
    ScsiDisk(sim::Recorder& recorder, std::vector<uint8_t> image);

    // Carries out one command block; `dataOut` holds what the host sent.
    Outcome execute(const Cbw& cbw, const std::vector<uint8_t>& dataOut);

    void addFault(const Fault& f);
    void clearFaults();
    // A unit attention for the first command after attach (other than INQUIRY
    // and REQUEST SENSE), as a real disk reports its power-on.
    void armPowerOnAttention();
    // The recorder's state as key=value lines.
    std::string stateText() const;
    // Called with the image after SYNCHRONIZE CACHE and writes.
    std::function<void(const std::vector<uint8_t>&, uint32_t firstBlock, uint32_t blocks)> onWrite;

    uint32_t blocks() const { return uint32_t(m_image.size() / kBlockSizeBytes); }
    const std::vector<uint8_t>& image() const { return m_image; }
    Sense pendingSense() const;
    void resetRecorder();
    void setClock(const DeviceTime& t);

    static constexpr uint32_t kBlockSizeBytes = 512;

private:
    Outcome executeLocked(const Cbw& cbw, const std::vector<uint8_t>& dataOut);
    Outcome fail(const Sense& s);
    bool takeFault(const uint8_t* cdb, bool vendor, Fault* out);

    mutable std::mutex m_mutex;
    sim::Recorder& m_recorder;
    std::vector<uint8_t> m_image;
    Sense m_sense = kNoSense;
    bool m_powerOnAttention = false;
    bool m_preventRemoval = false;
    bool m_stopped = false;
    uint32_t m_commands = 0;
    std::deque<Fault> m_faults;
};

}  // namespace usbdev
