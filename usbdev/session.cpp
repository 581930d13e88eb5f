#include "session.h"

#include "hex.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace usbdev {
namespace {

bool isBlockTransfer(uint8_t op) { return op == 0x28 || op == 0x2A; }

}  // namespace

std::string describeCycle(const Cbw& cbw, const std::vector<uint8_t>& dataOut, const Outcome& o, uint32_t residue)
{
    std::string s = "tag=" + std::to_string(cbw.tag) + " cdb=" + hex(cbw.cdb.data(), cbw.cdbLength) +
                    " dir=" + (cbw.dataLength == 0 ? "none" : cbw.dataIn ? "in" : "out") +
                    " len=" + std::to_string(cbw.dataLength);
    const bool bulk = isBlockTransfer(cbw.cdb[0]);
    if (!dataOut.empty())
        s += " out=" + (bulk ? std::to_string(dataOut.size()) + "bytes" : hex(dataOut.data(), dataOut.size()));
    if (!o.dataIn.empty() && !o.stall)
        s += " in=" + (bulk ? std::to_string(o.dataIn.size()) + "bytes" : hex(o.dataIn.data(), o.dataIn.size()));
    s += " status=" + std::to_string(int(o.status)) + " residue=" + std::to_string(residue);
    if (!o.note.empty())
        s += " note=\"" + o.note + "\"";
    return s;
}

Session::Session(BulkPipe& pipe, ScsiDisk& disk, const std::atomic<unsigned>& resets)
    : m_pipe(pipe), m_disk(disk), m_resets(resets)
{
    sleepMs = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

void Session::log(const std::string& line)
{
    if (onLog)
        onLog(line);
}

bool Session::readAll(uint8_t* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const long n = m_pipe.readOut(buffer + done, size - done);
        if (n < 0)
            return false;
        if (n == 0)
            continue;
        done += size_t(n);
    }
    return true;
}

bool Session::serveOne()
{
    // Read a whole packet: a wrapper is a short packet of its own.
    uint8_t packet[512];
    const long n = m_pipe.readOut(packet, sizeof packet);
    if (n < 0)
        return false;
    Cbw cbw;
    if (!parseCbw(packet, size_t(n), &cbw)) {
        // Not a valid wrapper: halt and wait for the host's reset recovery.
        log("invalid command wrapper of " + std::to_string(n) + " bytes");
        m_pipe.haltIn();
        return true;
    }
    const unsigned resetsAtStart = m_resets.load();

    std::vector<uint8_t> dataOut;
    if (!cbw.dataIn && cbw.dataLength > 0) {
        // Take everything the host sends, keeping at most kMaxDataOut.
        dataOut.resize(std::min<size_t>(cbw.dataLength, kMaxDataOut));
        if (!readAll(dataOut.data(), dataOut.size()))
            return false;
        std::vector<uint8_t> rest(64 * 1024);
        for (size_t left = cbw.dataLength - dataOut.size(); left > 0;) {
            const size_t chunk = std::min(left, rest.size());
            if (!readAll(rest.data(), chunk))
                return false;
            left -= chunk;
        }
    }

    Outcome o = m_disk.execute(cbw, dataOut);
    if (onStateChanged)
        onStateChanged();

    if (o.delayMs > 0) {
        for (uint32_t waited = 0; waited < o.delayMs && m_resets.load() == resetsAtStart; waited += 50)
            sleepMs(std::min<uint32_t>(50, o.delayMs - waited));
        if (m_resets.load() != resetsAtStart) {
            log(describeCycle(cbw, dataOut, o, cbw.dataLength) + " dropped=\"reset before the answer\"");
            return true;
        }
    }

    uint32_t residue = 0;
    if (cbw.dataIn && cbw.dataLength > 0) {
        if (o.stall) {
            m_pipe.haltIn();
            residue = cbw.dataLength;
        } else {
            // The data stage always fills the host's length: what the command
            // had, then zeros, with the shortfall in the residue.
            std::vector<uint8_t> stage(cbw.dataLength, 0);
            std::copy(o.dataIn.begin(), o.dataIn.end(), stage.begin());
            residue = cbw.dataLength - uint32_t(o.dataIn.size());
            if (m_pipe.writeIn(stage.data(), stage.size()) < 0)
                return false;
        }
    } else if (cbw.dataLength > 0) {
        residue = cbw.dataLength - std::min(cbw.dataLength, o.dataOutTaken);
    }
    log(describeCycle(cbw, dataOut, o, residue));

    const auto csw = makeCsw(cbw.tag, residue, o.status);
    if (m_pipe.writeIn(csw.data(), csw.size()) < 0)
        return false;
    if (o.unplugAfter && onUnplug)
        onUnplug();
    return true;
}

}  // namespace usbdev
