// ExecuteVendorCommand and SendPassThrough: the records that go out and the
// results and buffers that come back.
#include "UsbScsiCmd.h"
#include "sim_fixture.h"

using sim::Call;

namespace {

class Transport : public SimTest {
protected:
    void SetUp() override { connectRecorder(device); }

    // A management get-time command: the recorder answers 8 bytes.
    VendorCdb getTimeCdb()
    {
        VendorCdb cdb{};
        cdb.bytes[3] = 0xFE;
        cdb.bytes[4] = 0x08;
        return cdb;
    }

    UsbScsiCmd device;
};

TEST_F(Transport, DataInRequestHeader)
{
    VendorCdb cdb = getTimeCdb();
    uint8_t buffer[8] = {};
    ASSERT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 8, kDirectionIn), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 1u);
    const Call& c = calls[0];
    EXPECT_EQ(c.handle, device.handle());
    expectDataInRequest(c, 16, 8);
    EXPECT_EQ(cdbRange(c, 0, 4), bytes({0xFA, 0x55, 0x66, 0xFE, 0x08}));
    EXPECT_EQ(buffer[0], 1);  // the recorder's status byte arrived
}

TEST_F(Transport, DataOutRequestPointsAtTheCallersBytes)
{
    VendorCdb cdb{};
    cdb.bytes[3] = 0x08;
    uint8_t data[512];
    for (int i = 0; i < 512; ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(ExecuteVendorCommand(&device, data, &cdb, sizeof data, kDirectionOut), 1);
    const Call c = ioctls().at(0);
    EXPECT_EQ(c.code, 0x4D014u);
    EXPECT_EQ(c.inSize, scsi::kDirectRequestSize);
    EXPECT_EQ(c.outSize, scsi::kDirectRequestSize);
    EXPECT_TRUE(c.request.direct);
    EXPECT_EQ(c.request.length, scsi::kHeaderSize);
    EXPECT_EQ(c.request.dataIn, 0);
    EXPECT_EQ(c.request.dataTransferLength, 512u);
    EXPECT_EQ(c.request.timeOutValue, 10u);
    EXPECT_EQ(c.request.senseInfoOffset, scsi::kSenseOffset);
    EXPECT_EQ(c.request.dataBufferOffset, reinterpret_cast<uintptr_t>(data));
    EXPECT_TRUE(c.request.fillerAndSenseZero);
    EXPECT_EQ(c.dataOut, std::vector<uint8_t>(data, data + 512));
}

TEST_F(Transport, AnyDirectionOtherThanOneIsDataOut)
{
    for (int direction : {0, 2, -1}) {
        stack.clearLog();
        VendorCdb cdb{};
        cdb.bytes[3] = 0x03;
        ASSERT_EQ(ExecuteVendorCommand(&device, nullptr, &cdb, 0, direction), 1);
        EXPECT_EQ(ioctls().at(0).code, 0x4D014u) << direction;
    }
}

TEST_F(Transport, DataInOfZeroBytesCopiesNothing)
{
    VendorCdb cdb{};
    cdb.bytes[3] = 0x09;
    ASSERT_EQ(ExecuteVendorCommand(&device, nullptr, &cdb, 0, kDirectionIn), 1);
    const Call c = ioctls().at(0);
    EXPECT_EQ(c.outSize, scsi::kDataOffset);
    EXPECT_EQ(c.request.dataTransferLength, 0u);
}

TEST_F(Transport, SignatureIsStampedEvenWhenTheCallFails)
{
    stack.failIoctl(1);
    VendorCdb cdb;
    std::memset(&cdb, 0xEE, sizeof cdb);
    uint8_t buffer[4] = {9, 9, 9, 9};
    EXPECT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 4, kDirectionIn), 0);
    EXPECT_EQ(cdb.bytes[0], 0xFA);
    EXPECT_EQ(cdb.bytes[1], 0x55);
    EXPECT_EQ(cdb.bytes[2], 0x66);
    EXPECT_EQ(cdb.bytes[3], 0xEE);
    // A failed data-in leaves the caller's buffer as it was.
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), bytes({9, 9, 9, 9}));
    // The platform's error is read once and dropped.
    EXPECT_EQ(callsOf(Call::Kind::GetLastError).size(), 1u);
}

TEST_F(Transport, FailedDataOutAsksForTheErrorToo)
{
    stack.failIoctl(1);
    VendorCdb cdb{};
    EXPECT_EQ(ExecuteVendorCommand(&device, nullptr, &cdb, 0, kDirectionOut), 0);
    EXPECT_EQ(callsOf(Call::Kind::GetLastError).size(), 1u);
}

TEST_F(Transport, DataInLargerThanTheDataAreaIsRefusedWithoutASystemCall)
{
    VendorCdb cdb{};
    cdb.bytes[3] = 0x07;
    static uint8_t buffer[65537];
    buffer[0] = 0x5A;
    EXPECT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 65537, kDirectionIn), 0);
    EXPECT_TRUE(stack.log().empty());
    EXPECT_EQ(buffer[0], 0x5A);
    // The largest read that fits still goes out.
    EXPECT_EQ(ExecuteVendorCommand(&device, buffer, &cdb, 65536, kDirectionIn), 1);
    EXPECT_EQ(ioctls().at(0).outSize, 65536 + scsi::kDataOffset);
}

TEST_F(Transport, NullHandleFailsAtTheSystemCall)
{
    UsbScsiCmd fresh;
    VendorCdb cdb{};
    EXPECT_EQ(ExecuteVendorCommand(&fresh, nullptr, &cdb, 0, kDirectionIn), 0);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, nullptr);
    EXPECT_EQ(calls[0].error, sim::kErrorInvalidHandle);
}

TEST_F(Transport, SendPassThroughKeepsTheCallersCdbAndStatus)
{
    PassThroughRequest* request = new PassThroughRequest();
    request->header.ScsiStatus = 0;
    request->header.Cdb[0] = 0xFA;
    request->header.Cdb[1] = 0x55;
    request->header.Cdb[2] = 0x66;
    request->header.Cdb[3] = 0x01;
    EXPECT_EQ(SendPassThrough(request, 16, &device), 1);
    EXPECT_EQ(request->data[0], 0xAA);  // the answer stays in the data area
    const Call c = ioctls().at(0);
    EXPECT_EQ(c.outSize, 16 + scsi::kDataOffset);
    EXPECT_EQ(cdbRange(c, 0, 3), bytes({0xFA, 0x55, 0x66, 0x01}));
    delete request;
}

}  // namespace
