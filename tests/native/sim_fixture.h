// A simulated storage stack installed behind the platform calls for one test.
#pragma once

#include "UsbScsiCmd.h"
#include "scenario.h"
#include "storage_stack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

class SimTest : public ::testing::Test {
protected:
    SimTest() { stack.install(); }
    ~SimTest() override { stack.uninstall(); }

    // The DeviceIoControl calls recorded since the last clearLog().
    std::vector<sim::Call> ioctls() const
    {
        std::vector<sim::Call> out;
        for (const sim::Call& c : stack.log())
            if (c.kind == sim::Call::Kind::DeviceIoControl)
                out.push_back(c);
        return out;
    }

    std::vector<sim::Call> callsOf(sim::Call::Kind kind) const
    {
        std::vector<sim::Call> out;
        for (const sim::Call& c : stack.log())
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }

    // The letters that discovery opened, in order ("DEG" ...).
    std::string createdLetters() const
    {
        std::string s;
        for (const sim::Call& c : callsOf(sim::Call::Kind::CreateFile))
            s += c.path.size() == 6 ? c.path[4] : '?';
        return s;
    }

    // A recorder at G behind two disks, opened, with the log cleared.
    sim::Recorder& connectRecorder(UsbScsiCmd& device, char letter = 'G')
    {
        stack.attachDisk('D');
        stack.attachDisk('E');
        sim::Recorder& r = stack.attachRecorder(letter);
        EXPECT_EQ(device.Open(), 1);
        stack.clearLog();
        return r;
    }

    static std::vector<uint8_t> bytes(std::initializer_list<int> list)
    {
        std::vector<uint8_t> v;
        for (int b : list)
            v.push_back(static_cast<uint8_t>(b));
        return v;
    }

    static std::vector<uint8_t> cdbRange(const sim::Call& c, int from, int to)
    {
        return std::vector<uint8_t>(c.request.cdb.begin() + from, c.request.cdb.begin() + to + 1);
    }

    sim::StorageStack stack;
};
