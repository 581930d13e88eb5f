#include "disk_fixture.h"

#include <cstring>
#include <string>

namespace usbdev::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes sense(uint8_t key, uint8_t asc, uint8_t ascq)
{
    Bytes s(18, 0);
    s[0] = 0x70;
    s[2] = key;
    s[7] = 10;
    s[12] = asc;
    s[13] = ascq;
    return s;
}

TEST_F(DiskTest, InquiryAnswersARemovableRecorderDisk)
{
    const Outcome o = run(cbw({0x12, 0, 0, 0, 36, 0}, 36, true));
    ASSERT_EQ(o.status, CswStatus::Passed);
    ASSERT_EQ(o.dataIn.size(), 36u);
    EXPECT_EQ(o.dataIn[0], 0x00) << "direct-access block device";
    EXPECT_EQ(o.dataIn[1], 0x80) << "removable";
    EXPECT_EQ(std::string(o.dataIn.begin() + 8, o.dataIn.begin() + 16), "KORVANE ");
    // The allocation length bounds the answer.
    EXPECT_EQ(run(cbw({0x12, 0, 0, 0, 5, 0}, 36, true)).dataIn.size(), 5u);
    // No vital product data pages.
    EXPECT_EQ(run(cbw({0x12, 1, 0x80, 0, 36, 0}, 36, true)).status, CswStatus::Failed);
    EXPECT_EQ(senseAfter(), sense(0x05, 0x24, 0x00));
}

TEST_F(DiskTest, UnknownCommandFailsWithInvalidOpcodeSenseReadOnce)
{
    // LOG SENSE, VERIFY(10), a vendor block with an operation the recorder lacks.
    for (const Cbw& c : {cbw({0x4D, 0, 0, 0, 0, 0, 0, 0, 0x40, 0}, 64, true), cbw({0x2F, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0, false),
                         cbw({0xFA, 0x55, 0x66, 0x0B}, 16, true)}) {
        const Outcome o = run(c);
        EXPECT_EQ(o.status, CswStatus::Failed);
        EXPECT_TRUE(o.dataIn.empty());
        EXPECT_EQ(senseAfter(), sense(0x05, 0x20, 0x00));
        EXPECT_EQ(senseAfter(), sense(0, 0, 0)) << "REQUEST SENSE clears what it reported";
    }
    // A command that passes clears sense left behind.
    run(cbw({0x4D, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, false));
    run(cbw({0x00, 0, 0, 0, 0, 0}, 0, false));
    EXPECT_EQ(senseAfter(), sense(0, 0, 0));
}

TEST_F(DiskTest, CapacitiesAndModePages)
{
    EXPECT_EQ(run(cbw({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, true)).dataIn, (Bytes{0, 0, 0, 255, 0, 0, 2, 0}));
    EXPECT_EQ(run(cbw({0x23, 0, 0, 0, 0, 0, 0, 0, 252, 0}, 252, true)).dataIn,
              (Bytes{0, 0, 0, 8, 0, 0, 1, 0, 2, 0, 2, 0}));

    const Bytes six = run(cbw({0x1A, 0, 0x3F, 0, 192, 0}, 192, true)).dataIn;
    ASSERT_EQ(six.size(), 24u);
    EXPECT_EQ(six[0], 23) << "mode data length excludes itself";
    EXPECT_EQ(six[2] & 0x80, 0) << "not write-protected";
    EXPECT_EQ(six[3], 0) << "no block descriptor";
    EXPECT_EQ(six[4], 0x08) << "caching page";
    const Bytes ten = run(cbw({0x5A, 0, 0x08, 0, 0, 0, 0, 0, 255, 0}, 255, true)).dataIn;
    ASSERT_EQ(ten.size(), 28u);
    EXPECT_EQ(ten[0] << 8 | ten[1], 26);
    EXPECT_EQ(ten[8], 0x08);
    EXPECT_EQ(run(cbw({0x1A, 0, 0x3F, 0, 4, 0}, 192, true)).dataIn.size(), 4u);
    EXPECT_EQ(run(cbw({0x1A, 0, 0x1C, 0, 192, 0}, 192, true)).status, CswStatus::Failed);
    EXPECT_EQ(senseAfter(), sense(0x05, 0x24, 0x00));
}

TEST_F(DiskTest, WrittenBlocksReadBackAndTheEndIsGuarded)
{
    Bytes data(1024);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    uint32_t writtenFirst = 0, writtenCount = 0;
    disk.onWrite = [&](const std::vector<uint8_t>&, uint32_t first, uint32_t count) {
        writtenFirst = first;
        writtenCount = count;
    };
    const Outcome w = run(cbw({0x2A, 0, 0, 0, 0, 254, 0, 0, 2, 0}, 1024, false), data);
    EXPECT_EQ(w.status, CswStatus::Passed);
    EXPECT_EQ(w.dataOutTaken, 1024u);
    EXPECT_EQ(writtenFirst, 254u);
    EXPECT_EQ(writtenCount, 2u);
    EXPECT_EQ(run(cbw({0x28, 0, 0, 0, 0, 254, 0, 0, 2, 0}, 1024, true)).dataIn, data);
    EXPECT_EQ(run(cbw({0x28, 0, 0, 0, 0, 255, 0, 0, 1, 0}, 512, true)).dataIn, Bytes(data.begin() + 512, data.end()));

    // One block past the end, and a block count that wraps.
    for (const Cbw& c : {cbw({0x28, 0, 0, 0, 0, 255, 0, 0, 2, 0}, 1024, true),
                         cbw({0x2A, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 2, 0}, 1024, false)}) {
        const Outcome o = run(c, data);
        EXPECT_EQ(o.status, CswStatus::Failed);
        EXPECT_TRUE(o.dataIn.empty());
        EXPECT_EQ(senseAfter(), sense(0x05, 0x21, 0x00));
    }
    // A read the host asked less for gives no more than that.
    EXPECT_EQ(run(cbw({0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 512, true)).dataIn.size(), 512u);
}

TEST_F(DiskTest, HousekeepingCommandsPassAndPreventIsHeld)
{
    for (const Cbw& c : {cbw({0x00, 0, 0, 0, 0, 0}, 0, false), cbw({0x1B, 0, 0, 0, 1, 0}, 0, false),
                         cbw({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, false)})
        EXPECT_EQ(run(c).status, CswStatus::Passed);
    run(cbw({0x1E, 0, 0, 0, 1, 0}, 0, false));
    EXPECT_NE(disk.stateText().find("prevent_removal=1\n"), std::string::npos);
    run(cbw({0x1E, 0, 0, 0, 0, 0}, 0, false));
    EXPECT_NE(disk.stateText().find("prevent_removal=0\n"), std::string::npos);
}

TEST_F(DiskTest, VendorBlocksReachTheRecorderModel)
{
    const Bytes probe = run(cbw({0xFA, 0x55, 0x66, 0x01}, 16, true)).dataIn;
    EXPECT_EQ(probe, (Bytes{0xAA, 0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(run(management(0x07, {'0', '0', '0', '0', '0', '1'})).dataIn, Bytes{0});
    EXPECT_EQ(run(management(0x07, {'0', '0', '0', '0', '0', '0'})).dataIn, Bytes{1});
    EXPECT_EQ(recorder.loginCount, 2);

    EXPECT_EQ(run(management(0x01, {'A', 'B', 'C', '1', '2', '3'})).dataIn, Bytes{1});
    EXPECT_EQ(run(management(0x03, {20, 13, 12, 31, 23, 59, 58})).dataIn, Bytes{1});
    EXPECT_EQ(run(management(0x02, {'P', '0', '1', '2', '3', '4'})).dataIn, Bytes{1});
    EXPECT_EQ(run(management(0x09, {'5', '6', '7', '8', '9', 'A', 'B'})).dataIn, Bytes{1});
    EXPECT_EQ(run(management(0x0A)).dataIn, (Bytes{1, 'P', '0', '1', '2', '3', '4'}));
    EXPECT_EQ(run(management(0x04)).dataIn, Bytes{1});

    const std::string state = disk.stateText();
    EXPECT_NE(state.find("password=414243313233\n"), std::string::npos) << state;
    EXPECT_NE(state.find("police_number=50303132333435363738394142\n"), std::string::npos) << state;
    EXPECT_NE(state.find("clock=2013-12-31 23:5"), std::string::npos) << state;
    EXPECT_NE(state.find("clock_offset=-"), std::string::npos) << "2013 lies behind this machine's clock: " << state;
    EXPECT_NE(state.find("udisk_mode=1\n"), std::string::npos) << state;
    EXPECT_NE(state.find("logins=2\n"), std::string::npos) << state;

    // A management block the host sends data with has nowhere to answer: refused.
    Cbw out = management(0x07);
    out.dataIn = false;
    EXPECT_EQ(run(out, Bytes(16, 0)).status, CswStatus::Failed);
    EXPECT_EQ(recorder.loginCount, 2);
}

TEST_F(DiskTest, InjectedFailuresHitOnlyTheCommandsTheyName)
{
    Fault f;
    f.kind = FaultKind::CheckCondition;
    f.op = 0xFE;
    f.sub = 0x07;
    f.sense = {0x02, 0x04, 0x00};
    f.count = 2;
    disk.addFault(f);
    EXPECT_EQ(run(cbw({0x00, 0, 0, 0, 0, 0}, 0, false)).status, CswStatus::Passed);
    EXPECT_EQ(run(management(0x08)).status, CswStatus::Passed);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run(management(0x07, {'0', '0', '0', '0', '0', '0'})).status, CswStatus::Failed);
        EXPECT_EQ(senseAfter(), sense(0x02, 0x04, 0x00));
    }
    EXPECT_EQ(recorder.loginCount, 0) << "a failed command is not carried out";
    EXPECT_EQ(run(management(0x07, {'0', '0', '0', '0', '0', '0'})).dataIn, Bytes{1});

    Fault ua;
    ua.kind = FaultKind::UnitAttention;
    disk.addFault(ua);
    EXPECT_EQ(run(management(0x08)).status, CswStatus::Failed);
    EXPECT_EQ(senseAfter(), sense(0x06, 0x29, 0x00));

    Fault stall;
    stall.kind = FaultKind::Stall;
    disk.addFault(stall);
    const Outcome s = run(management(0x04));
    EXPECT_TRUE(s.stall);
    EXPECT_EQ(s.status, CswStatus::Failed);
    EXPECT_FALSE(recorder.uDiskMode);

    Fault late;
    late.kind = FaultKind::Delay;
    late.delayMs = 3000;
    disk.addFault(late);
    const Outcome d = run(management(0x04));
    EXPECT_EQ(d.delayMs, 3000u);
    EXPECT_EQ(d.dataIn, Bytes{1});
    EXPECT_TRUE(recorder.uDiskMode) << "a late answer is still carried out";

    Fault unplug;
    unplug.kind = FaultKind::UnplugAfter;
    unplug.op = 0x01;
    disk.addFault(unplug);
    EXPECT_FALSE(run(management(0x08)).unplugAfter);
    const Outcome p = run(cbw({0xFA, 0x55, 0x66, 0x01}, 16, true));
    EXPECT_TRUE(p.unplugAfter);
    EXPECT_EQ(p.dataIn[0], 0xAA) << "the probe is answered before the device leaves";
    EXPECT_NE(disk.stateText().find("faults_pending=0\n"), std::string::npos);
}

TEST_F(DiskTest, PowerOnAttentionSparesInquiryAndRequestSense)
{
    disk.armPowerOnAttention();
    EXPECT_EQ(run(cbw({0x12, 0, 0, 0, 36, 0}, 36, true)).status, CswStatus::Passed);
    EXPECT_EQ(senseAfter(), sense(0, 0, 0));
    EXPECT_EQ(run(cbw({0x00, 0, 0, 0, 0, 0}, 0, false)).status, CswStatus::Failed);
    EXPECT_EQ(senseAfter(), sense(0x06, 0x29, 0x00));
    EXPECT_EQ(run(cbw({0x00, 0, 0, 0, 0, 0}, 0, false)).status, CswStatus::Passed) << "reported once";
}

}  // namespace
}  // namespace usbdev::test
