// One Bulk-Only Transport command cycle after another over a pair of bulk
// endpoints: command wrapper, data stage, status wrapper.
#pragma once

#include "bot.h"
#include "scsi_disk.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace usbdev {

// The two bulk endpoints. Reads and writes block; a negative result means the
// endpoint went away (unbound, disabled, reset of the port).
class BulkPipe {
public:
    virtual ~BulkPipe() = default;
    virtual long readOut(uint8_t* buffer, size_t size) = 0;
    virtual long writeIn(const uint8_t* data, size_t size) = 0;
    virtual void haltIn() = 0;
};

class Session {
public:
    // `resets` counts the host's Bulk-Only Mass Storage Resets; an answer
    // held back past one is dropped.
    Session(BulkPipe& pipe, ScsiDisk& disk, const std::atomic<unsigned>& resets);

    // Serves one command cycle. False when an endpoint failed.
    bool serveOne();

    std::function<void(const std::string&)> onLog;
    std::function<void()> onStateChanged;
    std::function<void()> onUnplug;
    // Sleeps for a held-back answer; tests replace it.
    std::function<void(uint32_t ms)> sleepMs;

    static constexpr size_t kMaxDataOut = 1 << 20;

private:
    bool readAll(uint8_t* buffer, size_t size);
    void log(const std::string& line);

    BulkPipe& m_pipe;
    ScsiDisk& m_disk;
    const std::atomic<unsigned>& m_resets;
};

// One line describing a command cycle, for the device's log.
std::string describeCycle(const Cbw& cbw, const std::vector<uint8_t>& dataOut, const Outcome& o, uint32_t residue);

}  // namespace usbdev
