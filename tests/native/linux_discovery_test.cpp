// Discovery on Linux: which disks are tried, in which order, what is sent to
// them, and the commands that follow on the disk it kept.
#include "UsbScsiCmd.h"
#include "VolumeCandidates.h"
#include "fake_kernel.h"
#include "management.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using Paths = std::vector<std::string>;

Paths volumes()
{
    Paths v;
    PlatformVolumes scan;
    VolumePath p;
    while (scan.next(p))
        v.push_back(p.text);
    return v;
}

std::vector<uint8_t> cdb(std::initializer_list<int> head)
{
    std::vector<uint8_t> v(16, 0);
    size_t i = 0;
    for (int b : head)
        v[i++] = static_cast<uint8_t>(b);
    return v;
}

TEST(LinuxVolumes, WholeDisksInTheKernelsNameOrder)
{
    fake::Kernel k;
    for (const char* name : {"sdb", "sdaa", "sda", "sdz", "sdab", "sdba"})
        k.addUsbDisk(name, fake::disk());
    // Partitions, other kinds of device, and names that only look alike.
    for (const char* name : {"sda1", "sdb2", "sg0", "sr0", "tty", "sd", "sdA", "nvme0n1", "sdb-x"})
        k.addDevEntry(name);
    const Paths expected{"/dev/sda", "/dev/sdb", "/dev/sdz", "/dev/sdaa", "/dev/sdab", "/dev/sdba"};
    EXPECT_EQ(volumes(), expected);

    CandidatePaths list;
    ListCandidatePaths(list);
    EXPECT_EQ(Paths(list.path, list.path + list.count), expected);
}

TEST(LinuxVolumes, TheListHoldsAsManyAsItHasRoomFor)
{
    fake::Kernel k;
    for (char a = 'a'; a <= 'c'; ++a)
        for (char b = 'a'; b <= 'z'; ++b)
            k.addUsbDisk(std::string("sd") + a + b, fake::disk());
    CandidatePaths list;
    ListCandidatePaths(list);
    ASSERT_EQ(list.count, CandidatePaths::kMaxPaths);
    EXPECT_STREQ(list.path[0], "/dev/sdaa");
    EXPECT_STREQ(list.path[CandidatePaths::kMaxPaths - 1], "/dev/sdcl");
}

TEST(LinuxVolumes, OnlyRemovableDisksOnAUsbBus)
{
    struct Case {
        const char* name;
        const char* removable;  // null: no such attribute
        const char* device;     // null: the link does not resolve
        bool taken;
    };
    const std::string usb = "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sda";
    const Case cases[] = {
        {"removable USB stick", "1\n", usb.c_str(), true},
        {"removable, no newline", "1", usb.c_str(), true},
        {"fixed disk on USB", "0\n", usb.c_str(), false},
        {"no removable attribute", nullptr, usb.c_str(), false},
        {"removable SATA drive", "1\n", "/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda", false},
        {"a component only named like a bus", "1\n", "/sys/devices/platform/usbphy/host0/block/sda", false},
        {"usb in a longer component", "1\n", "/sys/devices/platform/xhci/usb2x/block/sda", false},
        {"bus directly above", "1\n", "/sys/devices/usb1/1-1/1-1:1.0/host0/block/sda", true},
        {"virtual disk", "1\n", "/sys/devices/virtual/block/sda", false},
        {"link does not resolve", "1\n", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Kernel k;
        k.addDisk("sda", true, c.device ? c.device : "", fake::disk());
        if (c.removable)
            k.files["/sys/block/sda/removable"] = c.removable;
        else
            k.files.erase("/sys/block/sda/removable");
        if (!c.device)
            k.links.erase("/sys/block/sda");
        EXPECT_EQ(volumes(), c.taken ? Paths{"/dev/sda"} : Paths{});
    }
}

TEST(LinuxVolumes, NoListingNoVolumes)
{
    fake::Kernel k;
    k.addUsbDisk("sda", fake::recorder());
    k.listError = EACCES;
    EXPECT_TRUE(volumes().empty());
}

TEST(LinuxDiscovery, InquiryAndProbeOnEachUsbDiskUntilTheRecorder)
{
    fake::Kernel k;
    k.addDisk("sda", false, "/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda",
              fake::recorder());  // never tried: not removable, not on USB
    k.addUsbDisk("sdb", fake::disk());
    k.addUsbDisk("sdc", fake::recorder(2));
    k.addUsbDisk("sdd", fake::recorder(1));

    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    EXPECT_EQ(device.GetVariant(), 2);
    EXPECT_EQ(k.openedPaths(), (Paths{"/dev/sdb", "/dev/sdc"}));
    for (const fake::Kernel::Open& o : k.opens)
        EXPECT_EQ(o.flags, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    // The ordinary disk was closed; the recorder's descriptor is kept.
    EXPECT_EQ(k.closes, (std::vector<int>{k.opens[0].fd}));

    ASSERT_EQ(k.sgCalls.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const fake::SgCall& c = k.sgCalls[i];
        EXPECT_EQ(c.fd, k.opens[i / 2].fd);
        EXPECT_EQ(c.hdr.interface_id, 'S');
        EXPECT_EQ(c.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
        EXPECT_EQ(c.hdr.mx_sb_len, 24);
        EXPECT_EQ(c.hdr.timeout, 2000u);
        if (i % 2 == 0) {  // standard INQUIRY, 36 bytes
            EXPECT_EQ(c.hdr.cmd_len, 6);
            EXPECT_EQ(c.cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x24, 0}));
            EXPECT_EQ(c.hdr.dxfer_len, 36u);
        } else {  // the vendor probe, 16 bytes, data area marked 0x33
            EXPECT_EQ(c.hdr.cmd_len, 16);
            EXPECT_EQ(c.cdb, cdb({0xFA, 0x55, 0x66, 0x01}));
            EXPECT_EQ(c.hdr.dxfer_len, 16u);
            EXPECT_EQ(c.dataInHead, 0x33);
        }
    }
    EXPECT_EQ(device.Close(), 1);
    EXPECT_EQ(k.closes.back(), k.opens[1].fd);
}

TEST(LinuxDiscovery, NoRecorderWhenNoDiskQualifies)
{
    fake::Kernel k;
    k.addUsbDisk("sda", fake::recorder(), false);
    UsbScsiCmd device;
    const uint32_t denials = plat::AccessDenials();
    EXPECT_EQ(device.Open(), 0);
    EXPECT_EQ(device.GetVariant(), 0);
    EXPECT_EQ(device.handle(), nullptr);
    EXPECT_TRUE(k.opens.empty());
    EXPECT_EQ(plat::AccessDenials(), denials);  // nothing was refused: simply none there
}

// A user without the rights finds no recorder, and can tell why.
TEST(LinuxDiscovery, RefusedAccessIsCountedWhereTheScanSkipsADisk)
{
    struct Case {
        const char* name;
        int openError;     // of the device node
        bool probeRefused; // the vendor probe fails with EPERM (no CAP_SYS_RAWIO)
    };
    const Case cases[] = {{"device node not readable", EACCES, false},
                          {"vendor command not permitted", 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Kernel k;
        fake::Responder recorder = fake::recorder();
        fake::Device& d = k.addUsbDisk("sdb", [&](sg_io_hdr_t& io) {
            return c.probeRefused && io.cmdp[0] == 0xFA ? EPERM : recorder(io);
        });
        d.openError = c.openError;
        UsbScsiCmd device;
        const uint32_t denials = plat::AccessDenials();
        EXPECT_EQ(device.Open(), 0);
        EXPECT_GT(plat::AccessDenials(), denials);
        EXPECT_EQ(k.closes.size(), k.sgCalls.empty() ? 0u : 1u);
    }
}

TEST(LinuxDiscovery, AGivenPathIsTheOnlyOneTried)
{
    fake::Kernel k;
    k.addUsbDisk("sda", fake::recorder());
    k.devices["/dev/disk/by-id/usb-Recorder-0:0"].answer = fake::recorder(2);
    UsbScsiCmd device;
    ASSERT_EQ(device.OpenPath("/dev/disk/by-id/usb-Recorder-0:0"), 1);
    EXPECT_EQ(device.GetVariant(), 2);
    EXPECT_EQ(k.openedPaths(), (Paths{"/dev/disk/by-id/usb-Recorder-0:0"}));

    const std::string tooLong(VolumePath::kCapacity, 'x');
    SingleVolume overlong(tooLong.c_str());
    EXPECT_EQ(device.OpenFrom(overlong), 0);
    EXPECT_EQ(device.OpenPath(nullptr), 0);
    EXPECT_EQ(k.opens.size(), 1u);
}

TEST(LinuxDiscovery, CommandsFollowOnTheKeptDescriptor)
{
    fake::Kernel k;
    k.addUsbDisk("sdb", fake::disk());
    k.addUsbDisk("sdc", fake::recorder());
    UsbScsiCmd device;
    ASSERT_EQ(device.Open(), 1);
    const int fd = k.opens.back().fd;
    k.sgCalls.clear();

    char password[7] = "abc123";
    EXPECT_EQ(CmdLogin(device, UppercasePassword(password)), 1);
    const DeviceTime t{2026, 12, 10, 13, 5, 59};
    EXPECT_EQ(CmdSetTime(device, &t), 1);
    uint8_t sectors[2 * 512];
    for (unsigned i = 0; i < sizeof sectors; ++i)
        sectors[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(device.WriteSectors(0x01020304, 2, sectors), 1);

    ASSERT_EQ(k.sgCalls.size(), 3u);
    const fake::SgCall& login = k.sgCalls[0];
    EXPECT_EQ(login.fd, fd);
    EXPECT_EQ(login.cdb, cdb({0xFA, 0x55, 0x66, 0xFE, 0x07, 'A', 'B', 'C', '1', '2', '3'}));
    EXPECT_EQ(login.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(login.hdr.dxfer_len, 1u);
    EXPECT_EQ(login.hdr.timeout, 2000u);

    const fake::SgCall& setTime = k.sgCalls[1];
    EXPECT_EQ(setTime.cdb, cdb({0xFA, 0x55, 0x66, 0xFE, 0x03, 20, 26, 12, 10, 13, 5, 59}));
    EXPECT_EQ(setTime.hdr.dxfer_len, 1u);

    const fake::SgCall& write = k.sgCalls[2];
    EXPECT_EQ(write.fd, fd);
    EXPECT_EQ(write.cdb, cdb({0xFA, 0x55, 0x66, 0x08, 0x01, 0x02, 0x03, 0x04, 0x00, 0x02}));
    EXPECT_EQ(write.hdr.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(write.hdr.dxfer_len, 1024u);
    EXPECT_EQ(write.hdr.dxferp, sectors);
    EXPECT_EQ(write.hdr.timeout, 10000u);
    EXPECT_EQ(write.dataOut, std::vector<uint8_t>(sectors, sectors + sizeof sectors));
}

TEST(LinuxDiscovery, ACommandWithoutARecorderFailsWithoutASystemCall)
{
    fake::Kernel k;
    UsbScsiCmd device;
    EXPECT_EQ(device.Open(), 0);
    char password[7] = "000000";
    EXPECT_EQ(CmdLogin(device, password), 0);
    EXPECT_EQ(plat::GetLastError(), DWORD(EBADF));
    EXPECT_TRUE(k.sgCalls.empty());
}

}  // namespace
