#include "functionfs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace usbdev {
namespace {

constexpr uint8_t kGetMaxLun = 0xFE;
constexpr uint8_t kMassStorageReset = 0xFF;

void put16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    put16(v, uint16_t(x));
    put16(v, uint16_t(x >> 16));
}

void putSpeedSet(std::vector<uint8_t>& v, uint16_t maxPacket)
{
    const uint8_t interface[9] = {9, USB_DT_INTERFACE, 0, 0, 2, 0x08, 0x06, 0x50, 1};
    v.insert(v.end(), interface, interface + 9);
    const uint8_t in[7] = {7, USB_DT_ENDPOINT, 0x81, USB_ENDPOINT_XFER_BULK, uint8_t(maxPacket), uint8_t(maxPacket >> 8), 0};
    const uint8_t out[7] = {7, USB_DT_ENDPOINT, 0x02, USB_ENDPOINT_XFER_BULK, uint8_t(maxPacket), uint8_t(maxPacket >> 8), 0};
    v.insert(v.end(), in, in + 7);
    v.insert(v.end(), out, out + 7);
}

void patchLength(std::vector<uint8_t>& v)
{
    const uint32_t n = uint32_t(v.size());
    std::memcpy(v.data() + 4, &n, 4);  // little-endian host
}

}  // namespace

std::vector<uint8_t> functionDescriptors()
{
    std::vector<uint8_t> v;
    put32(v, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(v, 0);  // length, patched below
    put32(v, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(v, 3);  // full-speed descriptor count
    put32(v, 3);  // high-speed descriptor count
    putSpeedSet(v, 64);
    putSpeedSet(v, 512);
    patchLength(v);
    return v;
}

std::vector<uint8_t> functionStrings()
{
    static const char kName[] = "Recorder storage";
    std::vector<uint8_t> v;
    put32(v, FUNCTIONFS_STRINGS_MAGIC);
    put32(v, 0);
    put32(v, 1);  // strings per language
    put32(v, 1);  // languages
    put16(v, 0x0409);
    v.insert(v.end(), kName, kName + sizeof kName);
    patchLength(v);
    return v;
}

void Ep0::run()
{
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t n = ::read(m_fd, events, sizeof events);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (size_t i = 0; i < size_t(n) / sizeof events[0]; ++i) {
            switch (events[i].type) {
            case FUNCTIONFS_ENABLE:
                enabled = true;
                break;
            case FUNCTIONFS_DISABLE:
            case FUNCTIONFS_UNBIND:
                // A bus reset (usb-storage resets the port after a time-out)
                // or a detach: whatever the device still holds back is stale.
                enabled = false;
                ++resets;
                break;
            case FUNCTIONFS_SETUP:
                setup(reinterpret_cast<const uint8_t*>(&events[i].u.setup));
                break;
            default:
                break;
            }
        }
    }
}

void Ep0::setup(const uint8_t* request)
{
    const uint8_t type = request[0];
    const uint8_t code = request[1];
    const bool toHost = (type & USB_DIR_IN) != 0;
    if (type == (USB_DIR_IN | USB_TYPE_CLASS | USB_RECIP_INTERFACE) && code == kGetMaxLun) {
        const uint8_t maxLun = 0;
        if (::write(m_fd, &maxLun, 1) < 0)
            return;
        return;
    }
    if (type == (USB_DIR_OUT | USB_TYPE_CLASS | USB_RECIP_INTERFACE) && code == kMassStorageReset) {
        ++resets;
        if (::read(m_fd, nullptr, 0) < 0)  // status stage
            return;
        return;
    }
    // Anything else: stall, by going the wrong way.
    uint8_t none = 0;
    if (toHost) {
        if (::read(m_fd, &none, 0) < 0)
            return;
    } else if (::write(m_fd, &none, 0) < 0) {
        return;
    }
}

long FfsPipe::readOut(uint8_t* buffer, size_t size)
{
    return long(::read(m_out, buffer, size));
}

long FfsPipe::writeIn(const uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_in, data + done, size - done);
        if (n < 0)
            return -1;
        done += size_t(n);
    }
    return long(done);
}

void FfsPipe::haltIn()
{
    // Reading an IN endpoint file halts the endpoint (the read fails with EBADMSG).
    uint8_t none = 0;
    if (::read(m_in, &none, 1) < 0 && errno != EBADMSG)
        return;
}

bool openFunctionFs(const std::string& name, const std::string& dir, FfsFiles* files, std::string* error)
{
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = dir + ": " + std::strerror(errno);
        return false;
    }
    if (::mount(name.c_str(), dir.c_str(), "functionfs", 0, nullptr) != 0 && errno != EBUSY) {
        *error = "mount functionfs " + name + " at " + dir + ": " + std::strerror(errno);
        return false;
    }
    files->ep0 = ::open((dir + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
    if (files->ep0 < 0) {
        *error = dir + "/ep0: " + std::strerror(errno);
        return false;
    }
    const std::vector<uint8_t> d = functionDescriptors();
    const std::vector<uint8_t> s = functionStrings();
    if (::write(files->ep0, d.data(), d.size()) != ssize_t(d.size()) ||
        ::write(files->ep0, s.data(), s.size()) != ssize_t(s.size())) {
        *error = "writing descriptors to ep0: " + std::string(std::strerror(errno));
        return false;
    }
    files->in = ::open((dir + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
    files->out = ::open((dir + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
    if (files->in < 0 || files->out < 0) {
        *error = "opening ep1/ep2: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace usbdev
