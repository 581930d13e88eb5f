#include "functionfs.h"

#include <gtest/gtest.h>

#include <linux/usb/functionfs.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace usbdev {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(FunctionFsBlobs, DescribeOneBulkOnlyMassStorageInterfacePerSpeed)
{
    const std::vector<uint8_t> d = functionDescriptors();
    ASSERT_EQ(d.size(), 20u + 2 * (9 + 7 + 7));
    EXPECT_EQ(le32(d, 0), uint32_t(FUNCTIONFS_DESCRIPTORS_MAGIC_V2));
    EXPECT_EQ(le32(d, 4), d.size());
    EXPECT_EQ(le32(d, 8), uint32_t(FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC));
    for (size_t set = 0, at = 20; set < 2; ++set, at += 23) {
        const uint16_t packet = set == 0 ? 64 : 512;
        EXPECT_EQ(std::vector<uint8_t>(d.begin() + at, d.begin() + at + 9),
                  (std::vector<uint8_t>{9, 4, 0, 0, 2, 0x08, 0x06, 0x50, 1}));
        EXPECT_EQ(std::vector<uint8_t>(d.begin() + at + 9, d.begin() + at + 16),
                  (std::vector<uint8_t>{7, 5, 0x81, 2, uint8_t(packet), uint8_t(packet >> 8), 0}));
        EXPECT_EQ(std::vector<uint8_t>(d.begin() + at + 16, d.begin() + at + 23),
                  (std::vector<uint8_t>{7, 5, 0x02, 2, uint8_t(packet), uint8_t(packet >> 8), 0}));
    }
    const std::vector<uint8_t> s = functionStrings();
    EXPECT_EQ(le32(s, 0), uint32_t(FUNCTIONFS_STRINGS_MAGIC));
    EXPECT_EQ(le32(s, 4), s.size());
    EXPECT_EQ(s[16] | s[17] << 8, 0x0409);
    EXPECT_EQ(s.back(), 0) << "the string ends with its terminator";
}

usb_functionfs_event event(uint8_t type, uint8_t requestType = 0, uint8_t request = 0)
{
    usb_functionfs_event e{};
    e.type = type;
    e.u.setup.bRequestType = requestType;
    e.u.setup.bRequest = request;
    return e;
}

TEST(Ep0Events, AnswerGetMaxLunAndCountResets)
{
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    Ep0 ep0(fds[0]);
    std::thread t(&Ep0::run, &ep0);

    const usb_functionfs_event first[] = {event(FUNCTIONFS_BIND), event(FUNCTIONFS_ENABLE),
                                          event(FUNCTIONFS_SETUP, 0xA1, 0xFE)};
    ASSERT_EQ(write(fds[1], first, sizeof first), ssize_t(sizeof first));
    uint8_t maxLun = 0xFF;
    ASSERT_EQ(read(fds[1], &maxLun, 1), 1);
    EXPECT_EQ(maxLun, 0) << "one logical unit";
    EXPECT_TRUE(ep0.enabled);
    EXPECT_EQ(ep0.resets, 0u);

    // A Mass Storage Reset, then a bus reset that disables the function.
    const usb_functionfs_event second[] = {event(FUNCTIONFS_SETUP, 0x21, 0xFF), event(FUNCTIONFS_DISABLE)};
    ASSERT_EQ(write(fds[1], second, sizeof second), ssize_t(sizeof second));
    close(fds[1]);
    t.join();
    EXPECT_EQ(ep0.resets, 2u);
    EXPECT_FALSE(ep0.enabled);
    close(fds[0]);
}

}  // namespace
}  // namespace usbdev
