// Helpers shared by the device tests: command wrappers and a disk to run them on.
#pragma once

#include "bot.h"
#include "fat_image.h"
#include "scsi_disk.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace usbdev::test {

inline Cbw cbw(std::initializer_list<uint8_t> cdb, uint32_t length, bool in, uint32_t tag = 7)
{
    Cbw c;
    c.tag = tag;
    c.dataLength = length;
    c.dataIn = in;
    c.cdbLength = uint8_t(cdb.size());
    std::copy(cdb.begin(), cdb.end(), c.cdb.begin());
    return c;
}

// A management block: fa 55 66 fe <sub> <arguments...>.
inline Cbw management(uint8_t sub, std::initializer_list<uint8_t> args = {})
{
    Cbw c = cbw({0xFA, 0x55, 0x66, 0xFE, sub}, 16, true);
    c.cdbLength = 16;
    std::copy(args.begin(), args.end(), c.cdb.begin() + 5);
    return c;
}

inline std::vector<uint8_t> wrapperBytes(const Cbw& c)
{
    std::vector<uint8_t> b(kCbwSize, 0);
    const uint32_t words[3] = {kCbwSignature, c.tag, c.dataLength};
    for (int w = 0; w < 3; ++w)
        for (int i = 0; i < 4; ++i)
            b[w * 4 + i] = uint8_t(words[w] >> (8 * i));
    b[12] = c.dataIn ? 0x80 : 0x00;
    b[13] = c.lun;
    b[14] = c.cdbLength;
    std::copy(c.cdb.begin(), c.cdb.begin() + c.cdbLength, b.begin() + 15);
    return b;
}

class DiskTest : public ::testing::Test {
protected:
    sim::Recorder recorder;
    ScsiDisk disk{recorder, makeFatImage(256)};

    Outcome run(const Cbw& c, const std::vector<uint8_t>& out = {}) { return disk.execute(c, out); }
    std::vector<uint8_t> senseAfter()
    {
        return run(cbw({0x03, 0, 0, 0, 18, 0}, 18, true)).dataIn;
    }
};

}  // namespace usbdev::test
