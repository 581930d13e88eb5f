// Discovery: which drives are opened, what is sent to them, which are kept.
#include "UsbScsiCmd.h"
#include "sim_fixture.h"

using sim::Call;

namespace {

class Discovery : public SimTest {};

TEST_F(Discovery, NoDriveOpensSendsNothing)
{
    UsbScsiCmd device;
    EXPECT_EQ(device.Open(), 0);
    EXPECT_EQ(device.GetVariant(), 0);
    EXPECT_EQ(device.handle(), nullptr);
    EXPECT_EQ(createdLetters(), "DEFGHIJKLMNOPQRSTUVWXYZ");  // never A to C
    EXPECT_TRUE(ioctls().empty());
}

TEST_F(Discovery, OpensEachLetterWithTheVolumePathAndFlags)
{
    stack.attachDisk('C');
    stack.attachRecorder('E');
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    const auto creates = callsOf(Call::Kind::CreateFile);
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[0].path, "\\\\.\\D:");
    EXPECT_EQ(creates[1].path, "\\\\.\\E:");
    for (const Call& c : creates) {
        EXPECT_EQ(c.access, GENERIC_READ | GENERIC_WRITE);
        EXPECT_EQ(c.share, FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_EQ(c.disposition, OPEN_EXISTING);
        EXPECT_EQ(c.flags, 0u);
        EXPECT_TRUE(c.securityNull);
        EXPECT_TRUE(c.templateNull);
    }
}

TEST_F(Discovery, InquiryThenProbeOnEachOpenedDrive)
{
    stack.attachRecorder('F');
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    const auto calls = ioctls();
    ASSERT_EQ(calls.size(), 2u);

    const Call& inquiry = calls[0];
    expectDataInRequest(inquiry, 6, 36);
    EXPECT_EQ(cdbRange(inquiry, 0, 15), bytes({0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    const Call& probe = calls[1];
    expectDataInRequest(probe, 16, 16);
    EXPECT_EQ(cdbRange(probe, 0, 15), bytes({0xFA, 0x55, 0x66, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // The data area goes out cleared, but for the 0x33 marker in its first byte.
    EXPECT_EQ(probe.request.dataAreaHead[0], 0x33);
    EXPECT_EQ(probe.request.dataAreaHead[1], 0);
    // The inquiry's failure is never asked about; the probe succeeded.
    EXPECT_TRUE(callsOf(Call::Kind::GetLastError).empty());
}

TEST_F(Discovery, RejectedDrivesAreClosedAndTheScanGoesOn)
{
    stack.attachDisk('D');
    stack.attachDisk('H');
    stack.attachRecorder('K');
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(createdLetters(), "DEFGHIJK");  // absent letters fail to open
    EXPECT_EQ(callsOf(Call::Kind::CloseHandle).size(), 2u);
    EXPECT_EQ(stack.openHandleCount(), 1);
    ASSERT_NE(device.handle(), nullptr);
    EXPECT_EQ(stack.log().back().kind, Call::Kind::DeviceIoControl);
}

TEST_F(Discovery, LowerLetterWinsAndLaterLettersAreNotOpened)
{
    stack.attachRecorder('M', 2);
    stack.attachRecorder('H', 1);
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.GetVariant(), 1);
    EXPECT_EQ(createdLetters(), "DEFGH");
}

TEST_F(Discovery, ZIsTheLastLetterTried)
{
    stack.attachRecorder('Z', 2);
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.GetVariant(), 2);
    EXPECT_EQ(createdLetters().back(), 'Z');
}

// Probe answers written straight into the data area, against the variant.
struct ProbeCase {
    const char* name;
    bool aa55;     // bytes 0-1 = AA 55
    bool ait;      // bytes 9-11 = "AIT"
    bool fail;     // the probe's transfer fails
    int variant;   // expected; 0 = rejected
};

class ProbeAnswers : public SimTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeAnswers, DecideTheVariant)
{
    const ProbeCase& c = GetParam();
    sim::Recorder& r = stack.attachRecorder('D');
    r.probe.aa55 = c.aa55;
    r.probe.ait = c.ait;
    if (c.fail)  // inquiry is the first ioctl, the probe the second; its answer still arrives
        stack.failIoctl(2, sim::kErrorIoDevice, true);
    UsbScsiCmd device;
    EXPECT_EQ(device.Open(), c.variant != 0 ? 1 : 0);
    EXPECT_EQ(device.GetVariant(), c.variant);
    if (c.variant == 0) {
        EXPECT_EQ(device.handle(), nullptr);
        EXPECT_EQ(stack.openHandleCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ProbeAnswers,
    ::testing::Values(ProbeCase{"AA55", true, false, false, 1},
                      ProbeCase{"AIT", false, true, false, 2},
                      ProbeCase{"Both", true, true, false, 1},
                      ProbeCase{"Neither", false, false, false, 0},
                      ProbeCase{"AA55TransferFailed", true, false, true, 0},
                      ProbeCase{"AITTransferFailed", false, true, true, 0},
                      ProbeCase{"BothTransferFailed", true, true, true, 0}),
    [](const ::testing::TestParamInfo<ProbeCase>& i) { return std::string(i.param.name); });

TEST_F(Discovery, FailedInquiryChangesNothing)
{
    stack.attachRecorder('D');
    stack.failIoctl(1);
    UsbScsiCmd device;
    EXPECT_EQ(device.Open(), 1);
    EXPECT_EQ(device.GetVariant(), 1);
}

TEST_F(Discovery, OpenAgainClosesTheHandleItKept)
{
    stack.attachRecorder('G');
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    HANDLE first = device.handle();
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(stack.openHandleCount(), 1);
    const auto closes = callsOf(Call::Kind::CloseHandle);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].handle, first);
    EXPECT_EQ(closes[0].result, 1u);
}

TEST_F(Discovery, OpenThatFindsNothingResetsVariantAndHandle)
{
    stack.attachRecorder('G', 2);
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    stack.setAbsent('G');
    EXPECT_EQ(device.Open(), 0);
    EXPECT_EQ(device.GetVariant(), 0);
    EXPECT_EQ(device.handle(), nullptr);
    EXPECT_EQ(stack.openHandleCount(), 0);
}

TEST_F(Discovery, CloseReleasesOnceAndKeepsTheVariant)
{
    stack.attachRecorder('G', 2);
    UsbScsiCmd device;
    EXPECT_EQ(device.GetVariant(), 0);
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.Close(), 1);
    EXPECT_EQ(device.Close(), 1);  // second Close: nothing left to release
    EXPECT_EQ(device.handle(), nullptr);
    EXPECT_EQ(device.GetVariant(), 2);
    EXPECT_EQ(stack.openHandleCount(), 0);
    EXPECT_EQ(callsOf(Call::Kind::CloseHandle).size(), 1u);
    for (const Call& c : callsOf(Call::Kind::CloseHandle))
        EXPECT_EQ(c.result, 1u);
}

TEST_F(Discovery, CloseAfterFailedOpenCallsNothing)
{
    UsbScsiCmd device;
    device.Open();
    stack.clearLog();
    EXPECT_EQ(device.Close(), 1);
    EXPECT_TRUE(stack.log().empty());
}

TEST_F(Discovery, DestroyingTheObjectReleasesNothing)
{
    stack.attachRecorder('G');
    {
        UsbScsiCmd device;
        ASSERT_EQ(device.Open(), 1);
    }
    EXPECT_EQ(stack.openHandleCount(), 1);
}

}  // namespace
