// The simulated recorder's refusals and short answers: what it writes back
// into request records of either layout, and the scenario keys that set them up.
#include "management.h"
#include "sim_fixture.h"

namespace {

using sim::Call;

// A 32-bit request record as an i686 build lays it out: a management get-time
// (8 bytes data-in, buffered) or a data-out WriteSectors of no data (direct).
std::vector<uint8_t> record32(bool direct)
{
    std::vector<uint8_t> r(direct ? 80 : 88, 0);
    const uint16_t size = 44;
    std::memcpy(&r[0], &size, 2);
    r[4] = 1;   // TargetId
    r[6] = 16;  // CdbLength
    r[7] = 24;  // SenseInfoLength
    r[8] = direct ? 0 : 1;
    const uint32_t length = direct ? 0 : 8, dataOffset = direct ? 0 : 80, senseOffset = 48;
    std::memcpy(&r[12], &length, 4);
    std::memcpy(&r[20], &dataOffset, 4);
    std::memcpy(&r[24], &senseOffset, 4);
    const uint8_t get[5] = {0xFA, 0x55, 0x66, 0xFE, 0x08}, write[5] = {0xFA, 0x55, 0x66, 0x08, 0};
    std::memcpy(&r[28], direct ? write : get, 5);
    return r;
}

uint32_t u32At(const std::vector<uint8_t>& r, size_t at)
{
    uint32_t v;
    std::memcpy(&v, &r[at], 4);
    return v;
}

TEST(SimFaults, RepliesInThe32BitLayout)
{
    const struct {
        const char* name;
        bool direct, shortAnswer, descriptor;
        uint8_t status, senseLength;
        uint32_t transferred;
        std::vector<uint8_t> senseHead;
    } cases[] = {
        {"buffered, refused, fixed sense", false, false, false, 2, 18, 0, {0x70, 0, 0x05}},
        {"buffered, short answer", false, true, false, 0, 0, 3, {}},
        {"direct, refused, descriptor sense", true, false, true, 2, 8, 0, {0x72, 0x05, 0x24, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::StorageStack stack;
        stack.attachRecorder('D');
        stack.useDescriptorSense(c.descriptor);
        if (c.shortAnswer)
            stack.answerShort(sim::CommandSelector::any(), 3);
        else
            stack.answerCheckCondition(sim::CommandSelector::any(), sim::kIllegalRequest);
        HANDLE h = stack.createFile("\\\\.\\D:", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
        std::vector<uint8_t> r = record32(c.direct);
        if (!c.direct)
            std::fill(r.begin() + 80, r.end(), 0xEE);
        DWORD returned = 0;
        ASSERT_EQ(stack.deviceIoControl(h, c.direct ? 0x4D014 : 0x4D004, r.data(), c.direct ? 80 : 44, r.data(),
                                        static_cast<DWORD>(r.size()), &returned, nullptr),
                  1);
        EXPECT_EQ(r[2], c.status);
        EXPECT_EQ(r[7], c.senseLength);
        EXPECT_EQ(u32At(r, 12), c.transferred);
        EXPECT_EQ(std::vector<uint8_t>(r.begin() + 48, r.begin() + 48 + c.senseHead.size()), c.senseHead);
        if (c.status == 2 && !c.descriptor) {
            EXPECT_EQ(r[48 + 12], 0x24);
            EXPECT_EQ(r[48 + 13], 0x00);
        }
        if (!c.direct) {
            // The status byte and clock bytes of a short answer; nothing past them.
            const std::vector<uint8_t> data(r.begin() + 80, r.end());
            if (c.shortAnswer) {
                EXPECT_EQ(data[0], 1);
                EXPECT_EQ(data[1], 20);
            }
            for (size_t i = c.transferred; i < data.size(); ++i)
                EXPECT_EQ(data[i], 0xEE) << i;
            EXPECT_EQ(returned, 80 + c.transferred);
        }
    }
}

TEST(SimFaults, ARefusedCommandChangesNothingOnTheRecorder)
{
    sim::StorageStack stack;
    sim::Recorder& r = stack.attachRecorder('D');
    stack.answerCheckCondition(sim::CommandSelector::management(0x01), sim::kIllegalRequest, 1);
    stack.install();
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(CmdSetPassword(device, "NEWPW1"), 0);
    EXPECT_EQ(std::string(r.password.begin(), r.password.end()), "000000");
    EXPECT_EQ(CmdSetPassword(device, "NEWPW1"), 1);  // once only
    EXPECT_EQ(std::string(r.password.begin(), r.password.end()), "NEWPW1");
    stack.uninstall();
}

TEST(SimFaults, ScenarioKeys)
{
    const struct {
        const char* scenario;
        int loginResult;
        size_t requests;  // for the one login after discovery
        uint8_t status, key, senseFormat;
        uint32_t delivered;
    } cases[] = {
        {"check=07", 0, 1, 2, 5, 0x70, 0},
        {"sense=descriptor,check=07", 0, 1, 2, 5, 0x72, 0},
        {"unit-attention=07", 1, 2, 0, 0, 0, 1},
        {"unit-attention-always=07", 0, 2, 2, 6, 0x70, 0},
        {"short=07", 0, 1, 0, 0, 0, 0},
        {"short=07:1", 1, 1, 0, 0, 0, 1},
        {"unit-attention=any", 1, 1, 0, 0, 0, 1},  // taken by the probe of discovery
        {"check=probe", -1, 0, 0, 0, 0, 0},        // no recorder found
        {"check=inquiry", 1, 1, 0, 0, 0, 1},       // the INQUIRY's answer is not examined
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        sim::StorageStack stack;
        std::string error;
        ASSERT_TRUE(sim::applyScenario(stack, c.scenario, &error)) << error;
        stack.install();
        UsbScsiCmd device;
        const int opened = device.Open();
        EXPECT_EQ(opened, c.loginResult >= 0 ? 1 : 0);
        if (opened) {
            stack.clearLog();
            EXPECT_EQ(CmdLogin(device, "000000"), c.loginResult);
            const auto calls = stack.callsOf(Call::Kind::DeviceIoControl);
            ASSERT_EQ(calls.size(), c.requests);
            const Call& last = calls.back();
            EXPECT_EQ(last.replyStatus, c.status);
            EXPECT_EQ(last.replyLength, c.delivered);
            if (c.status == 2) {
                ASSERT_FALSE(last.replySense.empty());
                EXPECT_EQ(last.replySense[0], c.senseFormat);
                EXPECT_EQ(device.lastFailure().senseKey, c.key);
            }
        }
        stack.uninstall();
    }
    for (const char* bad : {"check=7", "check=", "unit-attention=zz", "short=07:x", "short=07:", "sense=fixed"}) {
        sim::StorageStack stack;
        std::string error;
        EXPECT_FALSE(sim::applyScenario(stack, bad, &error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
}

TEST(SimFaults, LogLineShowsWhatARequestCameBackWith)
{
    sim::StorageStack stack;
    std::string error;
    ASSERT_TRUE(sim::applyScenario(stack, "check=07", &error));
    stack.install();
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    stack.clearLog();
    CmdLogin(device, "000000");
    const std::string line = sim::formatCall(stack.callsOf(Call::Kind::DeviceIoControl).at(0));
    EXPECT_NE(line.find(" result=1 scsi=02 got=0 sense=700005000000000a000000002400"), std::string::npos) << line;
    stack.uninstall();
}

}  // namespace
