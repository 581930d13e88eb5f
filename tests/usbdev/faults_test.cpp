#include "faults.h"

#include <gtest/gtest.h>

namespace usbdev {
namespace {

TEST(FaultWords, ReadEveryKindAndItsOptions)
{
    Fault f;
    std::string error;
    ASSERT_TRUE(parseFault("check-condition op=fe sub=07 sense=02/04/01 count=2", &f, &error)) << error;
    EXPECT_EQ(f.kind, FaultKind::CheckCondition);
    EXPECT_EQ(f.op, 0xFE);
    EXPECT_EQ(f.sub, 0x07);
    EXPECT_EQ(f.sense, (Sense{0x02, 0x04, 0x01}));
    EXPECT_EQ(f.count, 2);

    ASSERT_TRUE(parseFault("unit-attention any", &f, &error)) << error;
    EXPECT_EQ(f.kind, FaultKind::UnitAttention);
    EXPECT_TRUE(f.anyCommand);
    EXPECT_EQ(f.sense, kPowerOnReset);

    ASSERT_TRUE(parseFault("delay ms=2500 op=fe sub=08", &f, &error)) << error;
    EXPECT_EQ(f.kind, FaultKind::Delay);
    EXPECT_EQ(f.delayMs, 2500u);

    ASSERT_TRUE(parseFault("stall", &f, &error)) << error;
    EXPECT_EQ(f.op, -1);
    ASSERT_TRUE(parseFault("unplug-after op=01", &f, &error)) << error;
    EXPECT_EQ(f.kind, FaultKind::UnplugAfter);
}

TEST(FaultWords, RefuseWhatTheyDoNotKnow)
{
    for (const char* line : {"", "explode", "stall op=1ff", "stall op=", "delay ms=-1", "stall count=0",
                             "check-condition sense=05/20", "stall sense=05/20/00", "stall colour=red"}) {
        Fault f;
        std::string error;
        EXPECT_FALSE(parseFault(line, &f, &error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

TEST(FaultMatch, ByOperationAndSubOperation)
{
    const uint8_t login[16] = {0xFA, 0x55, 0x66, 0xFE, 0x07};
    const uint8_t getTime[16] = {0xFA, 0x55, 0x66, 0xFE, 0x08};
    const uint8_t probe[16] = {0xFA, 0x55, 0x66, 0x01};
    const uint8_t tur[16] = {0x00};
    Fault f;
    f.op = 0xFE;
    f.sub = 0x07;
    EXPECT_TRUE(f.matches(login, true));
    EXPECT_FALSE(f.matches(getTime, true));
    EXPECT_FALSE(f.matches(probe, true));
    EXPECT_FALSE(f.matches(tur, false));
    Fault any;
    EXPECT_TRUE(any.matches(probe, true));
    EXPECT_FALSE(any.matches(tur, false)) << "ordinary commands only with 'any'";
    any.anyCommand = true;
    EXPECT_TRUE(any.matches(tur, false));
}

}  // namespace
}  // namespace usbdev
