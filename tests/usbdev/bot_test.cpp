#include "disk_fixture.h"

namespace usbdev::test {
namespace {

TEST(CommandWrapper, ParsesTagLengthDirectionAndBlock)
{
    const auto bytes = wrapperBytes(cbw({0x28, 0, 0, 0, 0, 5, 0, 0, 2, 0}, 1024, true, 0xA1B2C3D4));
    Cbw c;
    ASSERT_TRUE(parseCbw(bytes.data(), bytes.size(), &c));
    EXPECT_EQ(c.tag, 0xA1B2C3D4u);
    EXPECT_EQ(c.dataLength, 1024u);
    EXPECT_TRUE(c.dataIn);
    EXPECT_EQ(c.cdbLength, 10);
    EXPECT_EQ(c.cdb[5], 5);
    EXPECT_EQ(c.cdb[8], 2);
    EXPECT_EQ(c.cdb[10], 0) << "bytes past the block length are not taken";
}

TEST(CommandWrapper, RefusesWhatIsNotAWrapper)
{
    const auto good = wrapperBytes(cbw({0x00, 0, 0, 0, 0, 0}, 0, false));
    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
        size_t size;
    } cases[] = {
        {"one byte short", 0, 0x55, kCbwSize - 1},
        {"one byte long", 0, 0x55, kCbwSize + 1},
        {"signature", 3, 0x44, kCbwSize},
        {"LUN 1", 13, 1, kCbwSize},
        {"empty block", 14, 0, kCbwSize},
        {"block of 17", 14, 17, kCbwSize},
    };
    for (const Case& k : cases) {
        std::vector<uint8_t> b = good;
        b.resize(kCbwSize + 1, 0);
        b[k.offset] = k.value;
        Cbw c;
        EXPECT_FALSE(parseCbw(b.data(), k.size, &c)) << k.what;
    }
}

TEST(StatusWrapper, CarriesSignatureTagResidueAndStatus)
{
    const auto csw = makeCsw(0x01020304, 0x0F, CswStatus::Failed);
    const uint8_t expected[kCswSize] = {0x55, 0x53, 0x42, 0x53, 0x04, 0x03, 0x02, 0x01, 0x0F, 0, 0, 0, 1};
    EXPECT_EQ(std::vector<uint8_t>(csw.begin(), csw.end()), std::vector<uint8_t>(expected, expected + kCswSize));
}

}  // namespace
}  // namespace usbdev::test
