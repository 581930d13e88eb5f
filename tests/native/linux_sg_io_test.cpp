// The Linux backend's platform calls: request records turned into SG_IO
// requests field by field, the answers written back into the records, and the
// failures and their error codes.
#include "PassThrough.h"
#include "fake_kernel.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t kGetTimeCdb[16] = {0xFA, 0x55, 0x66, 0xFE, 0x08};

// What the device node answers to the next request.
struct Answer {
    int error = 0;  // errno of the ioctl itself
    uint8_t status = 0;
    std::vector<uint8_t> sense;
    std::vector<uint8_t> data;
    int resid = 0;
    unsigned short host = 0;
    unsigned short driver = 0;
};

class SgIo : public ::testing::Test {
protected:
    SgIo()
    {
        kernel.devices["/dev/sdb"].answer = [this](sg_io_hdr_t& io) {
            if (answer.error != 0)
                return answer.error;
            io.status = answer.status;
            io.host_status = answer.host;
            io.driver_status = answer.driver;
            io.resid = answer.resid;
            if (!answer.sense.empty())
                std::memcpy(io.sbp, answer.sense.data(), answer.sense.size());
            io.sb_len_wr = static_cast<unsigned char>(answer.sense.size());
            if (!answer.data.empty())
                std::memcpy(io.dxferp, answer.data.data(), answer.data.size());
            return 0;
        };
        handle = open("/dev/sdb");
    }
    ~SgIo() override { plat::CloseHandle(handle); }

    static HANDLE open(const char* path, DWORD access = GENERIC_READ | GENERIC_WRITE,
                       DWORD disposition = OPEN_EXISTING)
    {
        return plat::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 disposition, 0, nullptr);
    }

    // A buffered data-in request filled as the library fills one.
    static std::unique_ptr<PassThroughRequest> dataIn(uint32_t length)
    {
        auto r = std::make_unique<PassThroughRequest>();
        std::memset(r.get(), 0, sizeof *r);
        ScsiPassThroughHeader& h = r->header;
        h.Length = sizeof h;
        h.TargetId = 1;
        h.CdbLength = 16;
        h.SenseInfoLength = 24;
        h.DataIn = scsi::kDataIn;
        h.DataTransferLength = length;
        h.TimeOutValue = 2;
        h.DataBufferOffset = scsi::kDataOffset;
        h.SenseInfoOffset = scsi::kSenseOffset;
        std::memcpy(h.Cdb, kGetTimeCdb, 16);
        return r;
    }

    // A direct data-out request of `length` bytes at `buffer`.
    static DirectPassThroughRequest dataOut(void* buffer, uint32_t length)
    {
        DirectPassThroughRequest r;
        std::memset(&r, 0, sizeof r);
        ScsiPassThroughDirectHeader& h = r.header;
        h.Length = sizeof h;
        h.TargetId = 1;
        h.CdbLength = 16;
        h.SenseInfoLength = 24;
        h.DataIn = scsi::kDataOut;
        h.DataTransferLength = length;
        h.TimeOutValue = 10;
        h.DataBuffer = buffer;
        h.SenseInfoOffset = scsi::kSenseOffset;
        const uint8_t cdb[16] = {0xFA, 0x55, 0x66, 0x08, 0, 0, 0, 5, 0, 1};
        std::memcpy(h.Cdb, cdb, 16);
        return r;
    }

    BOOL send(PassThroughRequest& r, DWORD outSize, DWORD* returned = nullptr)
    {
        DWORD ignored = 0;
        return plat::DeviceIoControl(handle, scsi::kIoctlPassThrough, &r, scsi::kHeaderSize, &r,
                                     outSize, returned ? returned : &ignored, nullptr);
    }

    BOOL send(DirectPassThroughRequest& r, DWORD* returned = nullptr)
    {
        DWORD ignored = 0;
        return plat::DeviceIoControl(handle, scsi::kIoctlPassThroughDirect, &r,
                                     scsi::kDirectRequestSize, &r, scsi::kDirectRequestSize,
                                     returned ? returned : &ignored, nullptr);
    }

    fake::Kernel kernel;
    Answer answer;
    HANDLE handle = nullptr;
};

TEST_F(SgIo, BufferedDataInGoesOutFieldByField)
{
    auto r = dataIn(8);
    ASSERT_EQ(send(*r, scsi::kDataOffset + 8), 1);
    ASSERT_EQ(kernel.sgCalls.size(), 1u);
    const fake::SgCall& c = kernel.sgCalls[0];
    EXPECT_EQ(c.fd, 0);  // the first descriptor is a handle like any other
    EXPECT_EQ(c.hdr.interface_id, 'S');
    EXPECT_EQ(c.hdr.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(c.hdr.cmd_len, 16);
    EXPECT_EQ(c.hdr.mx_sb_len, 24);
    EXPECT_EQ(c.hdr.dxfer_len, 8u);
    EXPECT_EQ(c.hdr.timeout, 2000u);  // 2 seconds, in ms
    EXPECT_EQ(c.hdr.dxferp, r->data);
    EXPECT_EQ(c.hdr.sbp, r->sense);
    EXPECT_EQ(c.hdr.iovec_count, 0);
    EXPECT_EQ(c.hdr.flags, 0u);
    EXPECT_EQ(c.cdb, std::vector<uint8_t>(kGetTimeCdb, kGetTimeCdb + 16));
}

TEST_F(SgIo, DirectDataOutHandsOverTheCallersMemory)
{
    uint8_t sectors[512];
    for (unsigned i = 0; i < sizeof sectors; ++i)
        sectors[i] = static_cast<uint8_t>(i * 7);
    DirectPassThroughRequest r = dataOut(sectors, sizeof sectors);
    DWORD returned = 0;
    ASSERT_EQ(send(r, &returned), 1);
    ASSERT_EQ(kernel.sgCalls.size(), 1u);
    const fake::SgCall& c = kernel.sgCalls[0];
    EXPECT_EQ(c.hdr.interface_id, 'S');
    EXPECT_EQ(c.hdr.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(c.hdr.cmd_len, 16);
    EXPECT_EQ(c.hdr.mx_sb_len, 24);
    EXPECT_EQ(c.hdr.dxfer_len, 512u);
    EXPECT_EQ(c.hdr.timeout, 10000u);
    EXPECT_EQ(c.hdr.dxferp, sectors);
    EXPECT_EQ(c.hdr.sbp, r.sense);
    EXPECT_EQ(c.dataOut, std::vector<uint8_t>(sectors, sectors + 512));
    EXPECT_EQ(c.cdb[3], 0x08);
    EXPECT_EQ(r.header.DataTransferLength, 512u);
    EXPECT_EQ(r.header.ScsiStatus, 0);
    EXPECT_EQ(r.header.SenseInfoLength, 0);
    EXPECT_EQ(returned, scsi::kHeaderSize);
}

TEST_F(SgIo, RequestsWithoutDataSendNoBuffer)
{
    auto in = dataIn(0);
    ASSERT_EQ(send(*in, scsi::kDataOffset), 1);
    DirectPassThroughRequest out = dataOut(nullptr, 0);
    ASSERT_EQ(send(out), 1);
    ASSERT_EQ(kernel.sgCalls.size(), 2u);
    for (const fake::SgCall& c : kernel.sgCalls) {
        EXPECT_EQ(c.hdr.dxfer_direction, SG_DXFER_NONE);
        EXPECT_EQ(c.hdr.dxfer_len, 0u);
        EXPECT_EQ(c.hdr.dxferp, nullptr);
    }
    EXPECT_EQ(kernel.sgCalls[0].hdr.timeout, 2000u);
    EXPECT_EQ(kernel.sgCalls[1].hdr.timeout, 10000u);
}

TEST_F(SgIo, TimeOutInSecondsBeyondWhatMillisecondsHoldIsTheLongestOne)
{
    auto r = dataIn(8);
    r->header.TimeOutValue = UINT_MAX / 1000 + 1;
    ASSERT_EQ(send(*r, scsi::kDataOffset + 8), 1);
    EXPECT_EQ(kernel.sgCalls.at(0).hdr.timeout, UINT_MAX);
}

TEST_F(SgIo, TheAnswerIsWrittenBackIntoTheRecord)
{
    // CHECK CONDITION with 18 bytes of fixed-format sense; 5 of 8 bytes came.
    answer.status = 0x02;
    answer.driver = 0x08;  // DRIVER_SENSE: the sense bytes are valid
    answer.sense = {0x70, 0, 0x06, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x29, 0x00, 0, 0, 0, 0};
    answer.data = {1, 20, 26, 12, 10};
    answer.resid = 3;
    auto r = dataIn(8);
    DWORD returned = 0;
    ASSERT_EQ(send(*r, scsi::kDataOffset + 8, &returned), 1);
    EXPECT_EQ(r->header.ScsiStatus, 0x02);
    EXPECT_EQ(r->header.SenseInfoLength, 18);
    EXPECT_EQ(std::vector<uint8_t>(r->sense, r->sense + 18), answer.sense);
    EXPECT_EQ(r->sense[18], 0);
    EXPECT_EQ(r->header.DataTransferLength, 5u);
    EXPECT_EQ(std::vector<uint8_t>(r->data, r->data + 5), answer.data);
    EXPECT_EQ(returned, scsi::kDataOffset + 5);
    // The fields the stack does not return stay as the caller set them.
    EXPECT_EQ(r->header.Length, scsi::kHeaderSize);
    EXPECT_EQ(r->header.DataBufferOffset, scsi::kDataOffset);
    EXPECT_EQ(r->header.SenseInfoOffset, scsi::kSenseOffset);
    EXPECT_EQ(r->header.TimeOutValue, 2u);
}

TEST_F(SgIo, AGoodAnswerDeliversTheWholeLength)
{
    answer.data = {1, 20, 26, 12, 10, 9, 8, 7};
    auto r = dataIn(8);
    ASSERT_EQ(send(*r, scsi::kDataOffset + 8), 1);
    EXPECT_EQ(r->header.ScsiStatus, 0);
    EXPECT_EQ(r->header.SenseInfoLength, 0);
    EXPECT_EQ(r->header.DataTransferLength, 8u);
    EXPECT_EQ(r->data[7], 7);
}

// Records a port driver refuses: nothing reaches the kernel.
TEST_F(SgIo, MalformedRecordsAreRefusedBeforeTheKernel)
{
    struct Case {
        const char* name;
        void (*spoil)(PassThroughRequest&);
        DWORD outSize;
    };
    const DWORD fits = scsi::kDataOffset + 8;
    const Case cases[] = {
        {"length of another layout", [](PassThroughRequest& r) { r.header.Length = 44 + 56 - scsi::kHeaderSize; }, fits},
        {"no command block", [](PassThroughRequest& r) { r.header.CdbLength = 0; }, fits},
        {"command block longer than 16", [](PassThroughRequest& r) { r.header.CdbLength = 17; }, fits},
        {"unknown direction", [](PassThroughRequest& r) { r.header.DataIn = 3; }, fits},
        {"unspecified direction with data", [](PassThroughRequest& r) { r.header.DataIn = 2; }, fits},
        {"data beyond the output", [](PassThroughRequest&) {}, fits - 1},
        {"data over the header", [](PassThroughRequest& r) { r.header.DataBufferOffset = 8; }, fits},
        {"sense beyond the output", [](PassThroughRequest& r) { r.header.SenseInfoOffset = scsi::kDataOffset + 1; }, fits},
        {"sense over the header", [](PassThroughRequest& r) { r.header.SenseInfoOffset = 2; }, fits},
        {"output shorter than the header", [](PassThroughRequest& r) { r.header.DataTransferLength = 0; }, scsi::kHeaderSize - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = dataIn(8);
        c.spoil(*r);
        const PassThroughRequest before = *r;
        EXPECT_EQ(send(*r, c.outSize), 0);
        EXPECT_EQ(plat::GetLastError(), DWORD(EINVAL));
        EXPECT_EQ(std::memcmp(&before, r.get(), scsi::kDataOffset), 0);
    }
    // A direct request with data and no buffer, an unknown control code, an
    // output record apart from the input, an overlapped call.
    DirectPassThroughRequest direct = dataOut(nullptr, 512);
    EXPECT_EQ(send(direct), 0);
    EXPECT_EQ(plat::GetLastError(), DWORD(EINVAL));
    auto r = dataIn(8);
    auto other = dataIn(8);
    DWORD returned = 0;
    EXPECT_EQ(plat::DeviceIoControl(handle, 0x2D1400, r.get(), scsi::kHeaderSize, r.get(), 116, &returned, nullptr), 0);
    EXPECT_EQ(plat::GetLastError(), DWORD(ENOTTY));
    EXPECT_EQ(plat::DeviceIoControl(handle, scsi::kIoctlPassThrough, r.get(), scsi::kHeaderSize, other.get(), 116, &returned, nullptr), 0);
    EXPECT_EQ(plat::GetLastError(), DWORD(EINVAL));
    char overlapped[32] = {};
    EXPECT_EQ(plat::DeviceIoControl(handle, scsi::kIoctlPassThrough, r.get(), scsi::kHeaderSize, r.get(), 116, &returned, overlapped), 0);
    EXPECT_EQ(plat::GetLastError(), DWORD(EINVAL));

    EXPECT_TRUE(kernel.sgCalls.empty());
    EXPECT_TRUE(kernel.otherIoctls.empty());
}

// A request the kernel could not carry out fails the call, with an error that
// says why; a CHECK CONDITION is an answer, not a failure.
TEST_F(SgIo, TransportFailuresFailTheCall)
{
    struct Case {
        const char* name;
        int ioctlError;
        unsigned short host;
        unsigned short driver;
        int error;    // expected GetLastError
        bool denied;  // expected IsAccessDenied
    };
    const Case cases[] = {
        {"vendor command not permitted", EPERM, 0, 0, EPERM, true},
        {"device node not permitted", EACCES, 0, 0, EACCES, true},
        {"i/o error", EIO, 0, 0, EIO, false},
        {"device gone", ENODEV, 0, 0, ENODEV, false},
        {"host timed out", 0, 0x03, 0, ETIMEDOUT, false},
        {"driver timed out", 0, 0, 0x06, ETIMEDOUT, false},
        {"no connection", 0, 0x01, 0, ENODEV, false},
        {"bad target", 0, 0x04, 0, ENODEV, false},
        {"host error", 0, 0x07, 0, EIO, false},
        {"reset", 0, 0x08, 0, EIO, false},
        {"driver error", 0, 0, 0x04, EIO, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answer.error = c.ioctlError;
        answer.host = c.host;
        answer.driver = c.driver;
        answer.data = {1, 2, 3};
        auto r = dataIn(8);
        const uint32_t denials = plat::AccessDenials();
        EXPECT_EQ(send(*r, scsi::kDataOffset + 8), 0);
        EXPECT_EQ(plat::GetLastError(), DWORD(c.error));
        EXPECT_EQ(plat::IsAccessDenied(plat::GetLastError()), c.denied);
        EXPECT_EQ(plat::AccessDenials() - denials, c.denied ? 1u : 0u);
        // Nothing is written back after a failure.
        EXPECT_EQ(r->header.ScsiStatus, 0);
        EXPECT_EQ(r->header.SenseInfoLength, 24);
        EXPECT_EQ(r->header.DataTransferLength, 8u);
    }
    EXPECT_EQ(kernel.sgCalls.size(), sizeof cases / sizeof cases[0]);
}

TEST_F(SgIo, CreateFileOpensAnExistingDeviceWithoutBlocking)
{
    struct Case {
        DWORD access;
        int mode;
    };
    const Case cases[] = {{GENERIC_READ | GENERIC_WRITE, O_RDWR},
                          {GENERIC_READ, O_RDONLY},
                          {GENERIC_WRITE, O_WRONLY}};
    for (const Case& c : cases) {
        HANDLE h = open("/dev/sdb", c.access);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_NE(h, nullptr);
        EXPECT_EQ(kernel.opens.back().flags, c.mode | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(plat::CloseHandle(h), 1);
        EXPECT_EQ(kernel.closes.back(), kernel.opens.back().fd);
    }
    // Creating is never asked of a device.
    const size_t opens = kernel.opens.size();
    EXPECT_EQ(open("/dev/sdb", GENERIC_READ, 1 /* CREATE_NEW */), INVALID_HANDLE_VALUE);
    EXPECT_EQ(plat::GetLastError(), DWORD(EINVAL));
    EXPECT_EQ(kernel.opens.size(), opens);
}

TEST_F(SgIo, AFailedOpenKeepsItsError)
{
    kernel.devices["/dev/sdc"].openError = EACCES;
    uint32_t denials = plat::AccessDenials();
    EXPECT_EQ(open("/dev/sdc"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(plat::GetLastError(), DWORD(EACCES));
    EXPECT_EQ(plat::AccessDenials(), denials + 1);

    denials = plat::AccessDenials();
    EXPECT_EQ(open("/dev/sdx"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(plat::GetLastError(), DWORD(ENOENT));
    EXPECT_FALSE(plat::IsAccessDenied(ENOENT));
    EXPECT_EQ(plat::AccessDenials(), denials);
}

TEST_F(SgIo, HandlesThatNameNoDescriptorNeverReachTheKernel)
{
    auto r = dataIn(8);
    DWORD returned = 0;
    const HANDLE beyondEveryDescriptor = reinterpret_cast<HANDLE>(intptr_t(INT_MAX) + 2);
    for (HANDLE h : {HANDLE(nullptr), INVALID_HANDLE_VALUE, beyondEveryDescriptor}) {
        EXPECT_EQ(plat::DeviceIoControl(h, scsi::kIoctlPassThrough, r.get(), scsi::kHeaderSize,
                                        r.get(), scsi::kDataOffset + 8, &returned, nullptr),
                  0);
        EXPECT_EQ(plat::GetLastError(), DWORD(EBADF));
        EXPECT_EQ(plat::CloseHandle(h), 0);
        EXPECT_EQ(plat::GetLastError(), DWORD(EBADF));
    }
    EXPECT_TRUE(kernel.sgCalls.empty());
    EXPECT_TRUE(kernel.closes.empty());
}

TEST_F(SgIo, AFailedCloseReportsTheKernelsError)
{
    ASSERT_EQ(plat::CloseHandle(handle), 1);
    EXPECT_EQ(plat::CloseHandle(handle), 0);  // the kernel no longer knows it
    EXPECT_EQ(plat::GetLastError(), DWORD(EBADF));
    EXPECT_EQ(kernel.closes, (std::vector<int>{0, 0}));
    handle = nullptr;
}

}  // namespace
