// The conversions and checks behind the commands: GBK text, the time of
// `time set`, the failure sentences and the simulated machine's scenarios.
#include "failure_text.h"
#include "gbk_utf8.h"
#include "inputs.h"
#include "scenario.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Gbk, ConvertsBothWaysAndRefusesWhatItCannotKeep)
{
    struct Case {
        const char* utf8;
        gbk::Status status;
        const char* gbkBytes;
    } cases[] = {
        {"A123", gbk::Status::Ok, "A123"},
        {"京A12345", gbk::Status::Ok, "\xBE\xA9" "A12345"},
        {"警号０１", gbk::Status::Ok, "\xBE\xAF\xBA\xC5\xA3\xB0\xA3\xB1"},
        {"", gbk::Status::Ok, ""},
        {"\xF0\x9F\x98\x80", gbk::Status::Unmappable, ""},  // an emoji
        {"\xE0\xB8\x81", gbk::Status::Unmappable, ""},      // Thai
        {"\xFF", gbk::Status::Invalid, ""},
        {"\xE4\xBA", gbk::Status::Invalid, ""},             // cut short
    };
    for (const Case& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(gbk::fromUtf8(c.utf8, &out), c.status) << c.utf8;
        if (c.status != gbk::Status::Ok)
            continue;
        EXPECT_EQ(out, c.gbkBytes);
        std::string back;
        EXPECT_EQ(gbk::toUtf8(out, &back), gbk::Status::Ok);
        EXPECT_EQ(back, c.utf8);
    }
    std::string out;
    EXPECT_EQ(gbk::toUtf8("\xBE", &out), gbk::Status::Invalid);  // a lead byte alone
    EXPECT_EQ(gbk::toUtf8("\xFF\xFF", &out), gbk::Status::Invalid);
}

TEST(PoliceNumber, FitsInThirteenGbkBytes)
{
    char bytes[14];
    std::string error;
    EXPECT_TRUE(kvcli::policeNumberBytes("京京京京京京A", bytes, &error));  // 13 bytes
    EXPECT_EQ(bytes[13], 0);
    EXPECT_FALSE(kvcli::policeNumberBytes("京京京京京京京", bytes, &error));  // 14
    EXPECT_NE(error.find("14 bytes"), std::string::npos);
    EXPECT_FALSE(kvcli::policeNumberBytes("12345678901234", bytes, &error));
}

TEST(TimeText, OnlyRealTimesInTheOneForm)
{
    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"2026-12-10T08:30:00", true},  {"2026-12-10 08:30:00", true}, {"2028-02-29T00:00:00", true},
        {"2027-02-29T00:00:00", false}, {"2100-02-29T00:00:00", false}, {"2026-04-31T00:00:00", false},
        {"2026-13-01T00:00:00", false}, {"2026-12-10T24:00:00", false}, {"2026-12-10T08:60:00", false},
        {"2026-12-10T08:30", false},    {"2026-12-10T08:30:00Z", false}, {"26-12-10T08:30:00xx", false},
        {"1969-12-31T23:59:59", false}, {"2026/12/10T08:30:00", false},
    };
    for (const auto& c : cases) {
        DeviceTime t{};
        EXPECT_EQ(kvcli::parseTime(c.text, &t), c.ok) << c.text;
    }
    DeviceTime t{};
    ASSERT_TRUE(kvcli::parseTime("2031-02-03T04:05:06", &t));
    EXPECT_EQ(kvcli::formatTime(t), "2031-02-03T04:05:06");
    EXPECT_EQ(kvcli::formatTime(t, ' '), "2031-02-03 04:05:06");
}

TEST(FailureText, StatusAndSentenceFromTheRecord)
{
    using R = TransferFailure::Reason;
    struct Case {
        TransferFailure f;
        kvcli::ExitStatus status;
        const char* contains;
    } cases[] = {
        {{R::SystemCall, 5, 0, 0, 0, 0, 0, 0}, kvcli::kPermission, "administrator"},
        {{R::SystemCall, 1167, 0, 0, 0, 0, 0, 0}, kvcli::kDeviceError, "no longer there"},
        {{R::SystemCall, 1117, 0, 0, 0, 0, 0, 0}, kvcli::kDeviceError, "error 1117: I/O device error"},
        {{R::ScsiStatus, 0, 2, 5, 0x20, 0, 0, 0}, kvcli::kDeviceError, "CHECK CONDITION, ILLEGAL REQUEST (ASC 20h, ASCQ 00h)"},
        {{R::ScsiStatus, 0, 2, 6, 0x29, 0, 0, 0}, kvcli::kDeviceError, "UNIT ATTENTION"},
        {{R::ScsiStatus, 0, 8, 0, 0, 0, 0, 0}, kvcli::kDeviceError, "BUSY"},
        {{R::ShortAnswer, 0, 0, 0, 0, 0, 8, 1}, kvcli::kDeviceError, "answered 1 of 8 bytes"},
    };
    for (const Case& c : cases) {
        const kvcli::FailureReport r = kvcli::describeTransferFailure(c.f, "reading the clock");
        EXPECT_EQ(r.status, c.status) << c.contains;
        EXPECT_NE(r.sentence.find(c.contains), std::string::npos) << r.sentence;
        EXPECT_EQ(r.sentence.rfind("reading the clock", 0), 0u) << r.sentence;
        EXPECT_EQ(r.sentence.back(), '.');
    }
}

TEST(Scenario, NamesSeveralRecordersAndKeepsTheOldKeys)
{
    struct Expect {
        char letter;
        int variant;
        const char* password;
        long long offsetMs;
    };
    const struct {
        const char* scenario;
        std::vector<Expect> recorders;
    } cases[] = {
        {"", {{'G', 1, "000000", 0}}},
        {"recorder=H,variant=2,password=123456", {{'H', 2, "123456", 0}}},
        {"variant=2,recorder=H", {{'H', 2, "000000", 0}}},
        {"clock=-250", {{'G', 1, "000000", -250}}},
        {"recorder=E:2:ABCDEF:1500,recorder=F,password=111111,clock=40",
         {{'E', 2, "ABCDEF", 1500}, {'F', 1, "111111", 40}}},
        {"recorder=K::222222,recorder=L:2", {{'K', 1, "222222", 0}, {'L', 2, "000000", 0}}},
        {"recorder=M:::-3600000", {{'M', 1, "000000", -3600000}}},
    };
    {
        sim::StorageStack stack;
        std::string error;
        ASSERT_TRUE(sim::applyScenario(stack, "police-number=bea941,recorder=E,recorder=F", &error)) << error;
        for (char l : {'E', 'F'})
            EXPECT_EQ(std::string(stack.recorder(l)->policeNumber.begin(), stack.recorder(l)->policeNumber.end()),
                      std::string("\xBE\xA9\x41", 3) + std::string(10, '\0'));
    }
    for (const auto& c : cases) {
        sim::StorageStack stack;
        std::string error;
        ASSERT_TRUE(sim::applyScenario(stack, c.scenario, &error)) << c.scenario << ": " << error;
        int count = 0;
        for (char l = 'A'; l <= 'Z'; ++l)
            count += stack.kind(l) == sim::DriveKind::Recorder;
        EXPECT_EQ(count, static_cast<int>(c.recorders.size())) << c.scenario;
        for (const Expect& e : c.recorders) {
            sim::Recorder* r = stack.recorder(e.letter);
            ASSERT_NE(r, nullptr) << c.scenario << " " << e.letter;
            EXPECT_EQ(r->probe.ait, e.variant == 2) << c.scenario;
            EXPECT_EQ(std::string(r->password.begin(), r->password.end()), e.password) << c.scenario;
            EXPECT_EQ(r->clockOffsetMicros(), e.offsetMs * 1000) << c.scenario;
        }
    }
    for (const char* bad : {"recorder=g", "recorder=G:3", "recorder=G:1:12345", "recorder=G:1:123456:x",
                            "recorder=G:1:123456:5:9", "clock=fast", "recorder=", "police-number=abc",
                            "police-number=zz"}) {
        sim::StorageStack stack;
        std::string error;
        EXPECT_FALSE(sim::applyScenario(stack, bad, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
