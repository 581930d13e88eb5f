#include "dll_fixture.h"

void expectDataInRequest(const sim::Call& call, uint32_t length, uint8_t cdbLength)
{
    const sim::DecodedRequest& q = call.request;
    EXPECT_EQ(call.code, 0x4D004u) << "IOCTL_SCSI_PASS_THROUGH";
    EXPECT_EQ(call.inSize, kLayout.header);
    EXPECT_EQ(call.outSize, kLayout.data + length);
    EXPECT_TRUE(call.inEqualsOut) << "one record is input and output";
    EXPECT_TRUE(call.overlappedNull);
    EXPECT_FALSE(call.returnedNull);
    EXPECT_EQ(q.layoutBits, kLayout.bits);
    EXPECT_FALSE(q.direct);
    EXPECT_EQ(q.length, kLayout.header);
    EXPECT_EQ(q.scsiStatus, 0);
    EXPECT_EQ(q.pathId, 0);
    EXPECT_EQ(q.targetId, 1);
    EXPECT_EQ(q.lun, 0);
    EXPECT_EQ(q.cdbLength, cdbLength);
    EXPECT_EQ(q.senseInfoLength, 24);
    EXPECT_EQ(q.senseInfoOffset, kLayout.sense);
    EXPECT_EQ(q.dataIn, 1) << "SCSI_IOCTL_DATA_IN";
    EXPECT_EQ(q.dataTransferLength, length);
    EXPECT_EQ(q.timeOutValue, 2u);
    EXPECT_EQ(q.dataBufferOffset, kLayout.data);
    EXPECT_TRUE(q.fillerAndSenseZero) << "filler and sense area must arrive cleared";
}

std::vector<uint8_t> cdbBytes(const sim::Call& call, int from, int to)
{
    return std::vector<uint8_t>(call.request.cdb.begin() + from, call.request.cdb.begin() + to + 1);
}

std::vector<uint8_t> bytesOf(std::initializer_list<int> list)
{
    std::vector<uint8_t> v;
    for (int b : list)
        v.push_back(static_cast<uint8_t>(b));
    return v;
}
