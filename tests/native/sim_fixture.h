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
    std::vector<sim::Call> ioctls() const { return callsOf(sim::Call::Kind::DeviceIoControl); }

    std::vector<sim::Call> callsOf(sim::Call::Kind kind) const { return stack.callsOf(kind); }

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

    // A buffered data-in request as every one must go out: the published header
    // with target 1, 24 sense bytes, a 2-second time-out, the record as input
    // (header only) and output (data area included), nothing stray in it.
    static void expectDataInRequest(const sim::Call& c, uint8_t cdbLength, uint32_t length)
    {
        EXPECT_EQ(c.code, scsi::kIoctlPassThrough);
        EXPECT_EQ(c.inSize, scsi::kHeaderSize);
        EXPECT_EQ(c.outSize, scsi::kDataOffset + length);
        EXPECT_TRUE(c.inEqualsOut);
        EXPECT_TRUE(c.overlappedNull);
        const sim::DecodedRequest& q = c.request;
        EXPECT_EQ(q.length, scsi::kHeaderSize);
        EXPECT_EQ(q.scsiStatus, 0);
        EXPECT_EQ(q.pathId, 0);
        EXPECT_EQ(q.targetId, 1);
        EXPECT_EQ(q.lun, 0);
        EXPECT_EQ(q.cdbLength, cdbLength);
        EXPECT_EQ(q.senseInfoLength, 24);
        EXPECT_EQ(q.dataIn, 1);
        EXPECT_EQ(q.dataTransferLength, length);
        EXPECT_EQ(q.timeOutValue, 2u);
        EXPECT_EQ(q.dataBufferOffset, scsi::kDataOffset);
        EXPECT_EQ(q.senseInfoOffset, scsi::kSenseOffset);
        EXPECT_TRUE(q.fillerAndSenseZero);
    }

    // Two requests that went out the same, byte for byte (a resend).
    static void expectSameRequest(const sim::Call& a, const sim::Call& b)
    {
        EXPECT_EQ(a.code, b.code);
        EXPECT_EQ(a.handle, b.handle);
        EXPECT_EQ(a.inSize, b.inSize);
        EXPECT_EQ(a.outSize, b.outSize);
        const sim::DecodedRequest &p = a.request, &q = b.request;
        EXPECT_EQ(p.length, q.length);
        EXPECT_EQ(p.scsiStatus, q.scsiStatus);
        EXPECT_EQ(p.targetId, q.targetId);
        EXPECT_EQ(p.cdbLength, q.cdbLength);
        EXPECT_EQ(p.senseInfoLength, q.senseInfoLength);
        EXPECT_EQ(p.dataIn, q.dataIn);
        EXPECT_EQ(p.dataTransferLength, q.dataTransferLength);
        EXPECT_EQ(p.timeOutValue, q.timeOutValue);
        EXPECT_EQ(p.dataBufferOffset, q.dataBufferOffset);
        EXPECT_EQ(p.senseInfoOffset, q.senseInfoOffset);
        EXPECT_EQ(p.cdb, q.cdb);
        EXPECT_EQ(p.fillerAndSenseZero, q.fillerAndSenseZero);
        EXPECT_EQ(p.dataAreaHead, q.dataAreaHead);
        EXPECT_EQ(a.dataOut, b.dataOut);
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
