// Storage commands: the block bytes, direction, length and buffer of each.
#include "UsbScsiCmd.h"
#include "sim_fixture.h"

#include <functional>

using sim::Call;

namespace {

class StorageCommands : public SimTest {
protected:
    void SetUp() override { connectRecorder(device); }
    UsbScsiCmd device;
};

// One command with no data phase or a small one, against what goes out.
struct BlockCase {
    const char* name;
    uint8_t op;
    std::function<int(UsbScsiCmd&)> send;
    std::vector<uint8_t> block4on;  // block bytes 4 to 15
    bool dataIn;
    uint32_t length;
};

std::vector<uint8_t> tail(std::initializer_list<int> head)
{
    std::vector<uint8_t> v(12, 0);
    size_t i = 0;
    for (int b : head)
        v[i++] = static_cast<uint8_t>(b);
    return v;
}

uint8_t g_byte;

const BlockCase kBlockCases[] = {
    {"Command03", 0x03, [](UsbScsiCmd& d) { return d.Command03(); }, tail({}), false, 0},
    {"ReadByte", 0x04, [](UsbScsiCmd& d) { return d.ReadByte(0x01020304, &g_byte); }, tail({1, 2, 3, 4}), true, 1},
    {"WriteByte", 0x05,
     [](UsbScsiCmd& d) {
         const uint8_t v = 0x5A;
         return d.WriteByte(0x10, &v);
     },
     tail({0, 0, 0, 0x10, 0x5A}), false, 0},
    {"ReadValue", 0x06,
     [](UsbScsiCmd& d) {
         int32_t out;
         return d.ReadValue(0x1FF, 0x2AB, &out);
     },
     tail({0xFF, 0xAB}), true, 4},
    {"Command09", 0x09, [](UsbScsiCmd& d) { return d.Command09(0xA0B0C0D0); }, tail({0xA0, 0xB0, 0xC0, 0xD0}), true, 0},
    {"Command0A", 0x0A, [](UsbScsiCmd& d) { return d.Command0A(); }, tail({}), false, 0},
    {"Command0D", 0x0D, [](UsbScsiCmd& d) { return d.Command0D(); }, tail({}), false, 0},
};

class StorageBlocks : public StorageCommands, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(StorageBlocks, SendOneBlock)
{
    const BlockCase& c = GetParam();
    ASSERT_EQ(c.send(device), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 1u);
    const Call& call = calls[0];
    EXPECT_EQ(cdbRange(call, 0, 3), bytes({0xFA, 0x55, 0x66, c.op}));
    EXPECT_EQ(cdbRange(call, 4, 15), c.block4on);
    EXPECT_EQ(call.code, c.dataIn ? 0x4D004u : 0x4D014u);
    EXPECT_EQ(call.request.timeOutValue, c.dataIn ? 2u : 10u);
    EXPECT_EQ(call.request.dataTransferLength, c.length);
    if (c.dataIn)
        EXPECT_EQ(call.outSize, c.length + scsi::kDataOffset);
    else
        EXPECT_EQ(call.request.dataBufferOffset, 0u);  // no buffer
}

TEST_P(StorageBlocks, FailedTransferGivesZero)
{
    stack.failIoctl(1);
    EXPECT_EQ(GetParam().send(device), 0);
}

INSTANTIATE_TEST_SUITE_P(All, StorageBlocks, ::testing::ValuesIn(kBlockCases),
                         [](const ::testing::TestParamInfo<BlockCase>& i) { return std::string(i.param.name); });

TEST_F(StorageCommands, WriteSectorStreamSplitsIntoPiecesOf64)
{
    std::vector<uint8_t> data(130 * 512);
    ASSERT_EQ(device.WriteSectorStream(130, data.data()), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 3u);
    const uint32_t sectors[] = {64, 64, 2};
    for (size_t i = 0; i < 3; ++i) {
        const Call& c = calls[i];
        EXPECT_EQ(c.code, 0x4D014u);
        EXPECT_EQ(cdbRange(c, 3, 5), bytes({0x02, 0x00, static_cast<int>(sectors[i])}));
        EXPECT_EQ(cdbRange(c, 6, 15), std::vector<uint8_t>(10, 0));
        EXPECT_EQ(c.request.dataTransferLength, sectors[i] * 512);
        EXPECT_EQ(c.request.dataBufferOffset, reinterpret_cast<uintptr_t>(data.data() + i * 64 * 512));
    }
}

TEST_F(StorageCommands, WriteSectorStreamOf65SendsTheRestFromByte32768)
{
    std::vector<uint8_t> data(65 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i / 512);
    ASSERT_EQ(device.WriteSectorStream(65, data.data()), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(cdbRange(calls[0], 4, 5), bytes({0x00, 0x40}));
    EXPECT_EQ(calls[0].request.dataTransferLength, 32768u);
    EXPECT_EQ(cdbRange(calls[1], 4, 5), bytes({0x00, 0x01}));
    EXPECT_EQ(calls[1].dataOut, std::vector<uint8_t>(512, 64));
}

TEST_F(StorageCommands, WriteSectorStreamStopsAtTheFirstFailure)
{
    std::vector<uint8_t> data(130 * 512);
    stack.failIoctl(2);
    EXPECT_EQ(device.WriteSectorStream(130, data.data()), 0);
    EXPECT_EQ(ioctls().size(), 2u);
}

TEST_F(StorageCommands, WriteSectorStreamOfNothingSendsNothing)
{
    EXPECT_EQ(device.WriteSectorStream(0, nullptr), 0);
    EXPECT_TRUE(stack.log().empty());
}

TEST_F(StorageCommands, ReadSectorsBlockAndLength)
{
    std::vector<uint8_t> data(1024, 0xCC);
    ASSERT_EQ(device.ReadSectors(0x01020304, 2, data.data()), 1);
    const Call c = ioctls().at(0);
    EXPECT_EQ(cdbRange(c, 3, 9), bytes({0x07, 0x01, 0x02, 0x03, 0x04, 0x00, 0x02}));
    EXPECT_EQ(c.request.dataTransferLength, 1024u);
    EXPECT_EQ(c.code, 0x4D004u);
    EXPECT_EQ(data, std::vector<uint8_t>(1024, 0));  // the recorder's (blank) sectors arrived
}

TEST_F(StorageCommands, WriteSectorsOfZeroSendsAnEmptyCommand)
{
    ASSERT_EQ(device.WriteSectors(7, 0, nullptr), 1);
    const Call c = ioctls().at(0);
    EXPECT_EQ(cdbRange(c, 3, 9), bytes({0x08, 0, 0, 0, 7, 0, 0}));
    EXPECT_EQ(c.request.dataTransferLength, 0u);
    EXPECT_EQ(c.code, 0x4D014u);
}

TEST_F(StorageCommands, SectorCountsBeyondTheirLimitsAreRefused)
{
    std::vector<uint8_t> big(129 * 512, 0xAB);
    // 129 sectors would not fit the data area of a read.
    EXPECT_EQ(device.ReadSectors(0, 129, big.data()), 0);
    EXPECT_EQ(big[0], 0xAB);
    // 65536 sectors do not fit the block's 16-bit count.
    EXPECT_EQ(device.ReadSectors(0, 0x10000, big.data()), 0);
    EXPECT_EQ(device.WriteSectors(0, 0x10000, big.data()), 0);
    EXPECT_TRUE(stack.log().empty());
    // The largest read that fits: 128 sectors.
    std::vector<uint8_t> fits(128 * 512);
    EXPECT_EQ(device.ReadSectors(0, 128, fits.data()), 1);
}

TEST_F(StorageCommands, ReadValueCombinesLeastSignificantFirst)
{
    sim::Recorder* r = stack.recorder('G');
    ASSERT_NE(r, nullptr);
    int32_t out = -1;
    r->storageReadData = {0x01, 0x02, 0x00, 0x00};
    ASSERT_EQ(device.ReadValue(1, 2, &out), 1);
    EXPECT_EQ(out, 513);
    r->storageReadData = {0x78, 0x56, 0x34, 0x92};
    ASSERT_EQ(device.ReadValue(1, 2, &out), 1);
    EXPECT_EQ(static_cast<uint32_t>(out), 0x92345678u);
}

TEST_F(StorageCommands, ReadValueStoresZeroAfterAFailure)
{
    int32_t out = 0x12345678;
    stack.failIoctl(1);
    EXPECT_EQ(device.ReadValue(1, 2, &out), 0);
    EXPECT_EQ(out, 0);
}

TEST_F(StorageCommands, ReadByteChangesTheCallersByteOnlyOnSuccess)
{
    uint8_t b = 0x77;
    stack.failIoctl(1);
    EXPECT_EQ(device.ReadByte(1, &b), 0);
    EXPECT_EQ(b, 0x77);
    EXPECT_EQ(device.ReadByte(1, &b), 1);
    EXPECT_EQ(b, 0x00);
}

}  // namespace
