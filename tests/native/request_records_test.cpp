// The simulated stack reads request records of both layouts the way the port
// driver does, and refuses malformed ones.
#include "sim_fixture.h"

namespace {

// A 32-bit SCSI_PASS_THROUGH record as an i686 build lays it out.
std::vector<uint8_t> record32(uint8_t dataIn, uint32_t length, uint32_t timeout)
{
    std::vector<uint8_t> r(80 + length, 0);
    const uint16_t size = 44;
    std::memcpy(&r[0], &size, 2);
    r[4] = 1;     // TargetId
    r[6] = 16;    // CdbLength
    r[7] = 24;    // SenseInfoLength
    r[8] = dataIn;
    std::memcpy(&r[12], &length, 4);
    std::memcpy(&r[16], &timeout, 4);
    const uint32_t dataOffset = 80, senseOffset = 48;
    std::memcpy(&r[20], &dataOffset, 4);
    std::memcpy(&r[24], &senseOffset, 4);
    const uint8_t cdb[5] = {0xFA, 0x55, 0x66, 0xFE, 0x08};
    std::memcpy(&r[28], cdb, sizeof cdb);
    return r;
}

TEST(RequestRecords, Decodes32BitLayout)
{
    std::vector<uint8_t> r = record32(1, 8, 2);
    sim::DecodedRequest d;
    DWORD error = 0;
    ASSERT_TRUE(sim::decodeRequest(r.data(), 44, static_cast<DWORD>(r.size()), false, &d, &error));
    EXPECT_EQ(d.layoutBits, 32);
    EXPECT_EQ(d.targetId, 1);
    EXPECT_EQ(d.cdbLength, 16);
    EXPECT_EQ(d.dataTransferLength, 8u);
    EXPECT_EQ(d.timeOutValue, 2u);
    EXPECT_EQ(d.dataBufferOffset, 80u);
    EXPECT_EQ(d.senseInfoOffset, 48u);
    EXPECT_EQ(d.cdb[3], 0xFE);
    EXPECT_EQ(d.cdb[4], 0x08);
    EXPECT_TRUE(d.fillerAndSenseZero);
    r[46] = 1;  // a stray byte in the filler
    ASSERT_TRUE(sim::decodeRequest(r.data(), 44, static_cast<DWORD>(r.size()), false, &d, &error));
    EXPECT_FALSE(d.fillerAndSenseZero);
}

TEST(RequestRecords, AnsweredThroughTheStackIn32BitLayout)
{
    sim::StorageStack stack;
    stack.attachRecorder('D');
    HANDLE h = stack.createFile("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> r = record32(1, 8, 2);
    DWORD returned = 0;
    ASSERT_EQ(stack.deviceIoControl(h, 0x4D004, r.data(), 44, r.data(), 88, &returned, nullptr), 1);
    EXPECT_EQ(r[80], 1);     // status byte: time is valid
    EXPECT_EQ(r[81], 20);    // century of the year
    EXPECT_EQ(returned, 88u);
}

struct Malformed {
    const char* name;
    size_t at;
    std::vector<uint8_t> value;
    DWORD outSize;
};

class MalformedRecords : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedRecords, AreRefusedWithInvalidParameter)
{
    const Malformed& m = GetParam();
    std::vector<uint8_t> r = record32(1, 8, 2);
    std::memcpy(&r[m.at], m.value.data(), m.value.size());
    sim::DecodedRequest d;
    DWORD error = 0;
    EXPECT_FALSE(sim::decodeRequest(r.data(), 44, m.outSize, false, &d, &error));
    EXPECT_EQ(error, sim::kErrorInvalidParameter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedRecords,
    ::testing::Values(Malformed{"WrongLength", 0, {40, 0}, 88},
                      Malformed{"CdbTooLong", 6, {17}, 88},
                      Malformed{"NoCdb", 6, {0}, 88},
                      Malformed{"DataPastTheOutput", 12, {9, 0, 0, 0}, 88},
                      Malformed{"SensePastTheOutput", 24, {80, 0, 0, 0}, 88},
                      Malformed{"OutputTooSmall", 0, {44, 0}, 87}),
    [](const ::testing::TestParamInfo<Malformed>& i) { return std::string(i.param.name); });

TEST(RequestRecords, RequestSizesOfThisBuild)
{
#if UINTPTR_MAX == 0xFFFFFFFFu
    EXPECT_EQ(sizeof(PassThroughRequest), 65616u);
    EXPECT_EQ(sizeof(DirectPassThroughRequest), 80u);
#else
    EXPECT_EQ(sizeof(PassThroughRequest), 65624u);
    EXPECT_EQ(sizeof(DirectPassThroughRequest), 88u);
#endif
    EXPECT_EQ(scsi::kDataOffset - scsi::kSenseOffset, 32u);
    EXPECT_EQ(scsi::kRequestSize - scsi::kDataOffset, 65536u);
}

}  // namespace
