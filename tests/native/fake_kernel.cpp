#include "fake_kernel.h"

#include <cerrno>
#include <cstring>

namespace fake {

Kernel* Kernel::s_current = nullptr;

const kv_kernel Kernel::kTable = {Kernel::open,     Kernel::ioctl,    Kernel::close,
                                  Kernel::listDirectory, Kernel::readFile, Kernel::resolvePath};

namespace {

constexpr uint8_t kCheckCondition = 0x02;
constexpr uint8_t kDriverSense = 0x08;

bool isVendor(const sg_io_hdr_t& io)
{
    const uint8_t* c = io.cmdp;
    return io.cmd_len == 16 && c[0] == 0xFA && c[1] == 0x55 && c[2] == 0x66;
}

void answerInquiry(sg_io_hdr_t& io)
{
    uint8_t* d = static_cast<uint8_t*>(io.dxferp);
    std::memset(d, 0, io.dxfer_len);
    if (io.dxfer_len > 1)
        d[1] = 0x80;  // removable medium
}

void refuse(sg_io_hdr_t& io)
{
    io.status = kCheckCondition;
    io.driver_status = kDriverSense;
    const uint8_t sense[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00};
    const unsigned n = io.mx_sb_len < sizeof sense ? io.mx_sb_len : sizeof sense;
    std::memcpy(io.sbp, sense, n);
    io.sb_len_wr = static_cast<unsigned char>(n);
    io.resid = static_cast<int>(io.dxfer_len);
}

}  // namespace

Responder recorder(int variant)
{
    return [variant](sg_io_hdr_t& io) {
        if (io.cmdp[0] == 0x12) {
            answerInquiry(io);
            return 0;
        }
        if (!isVendor(io)) {
            refuse(io);
            return 0;
        }
        if (io.dxfer_direction != SG_DXFER_FROM_DEV)
            return 0;
        uint8_t* d = static_cast<uint8_t*>(io.dxferp);
        std::memset(d, 0, io.dxfer_len);
        if (io.cmdp[3] == 0x01) {
            if (variant == 1) {
                d[0] = 0xAA;
                d[1] = 0x55;
            } else {
                std::memcpy(d + 9, "AIT", 3);
            }
        } else {
            d[0] = 1;
        }
        return 0;
    };
}

Responder disk()
{
    return [](sg_io_hdr_t& io) {
        if (io.cmdp[0] == 0x12)
            answerInquiry(io);
        else
            refuse(io);
        return 0;
    };
}

Kernel::Kernel()
{
    s_current = this;
    m_replaced = kv_set_kernel(&kTable);
}

Kernel::~Kernel()
{
    kv_set_kernel(m_replaced);
    s_current = nullptr;
}

Device& Kernel::addDisk(const std::string& name, bool removable, const std::string& sysfsPath,
                        Responder answer)
{
    dirs["/dev"].push_back(name);
    files["/sys/block/" + name + "/removable"] = removable ? "1\n" : "0\n";
    links["/sys/block/" + name] = sysfsPath;
    Device& d = devices["/dev/" + name];
    d.answer = std::move(answer);
    return d;
}

Device& Kernel::addUsbDisk(const std::string& name, Responder answer, bool removable)
{
    return addDisk(name, removable,
                   "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/" +
                       name,
                   std::move(answer));
}

std::vector<std::string> Kernel::openedPaths() const
{
    std::vector<std::string> v;
    for (const Open& o : opens)
        v.push_back(o.path);
    return v;
}

int Kernel::open(const char* path, int flags)
{
    Kernel& k = *s_current;
    auto it = k.devices.find(path);
    int fd = -1;
    int error = ENOENT;
    if (it != k.devices.end()) {
        error = it->second.openError;
        if (error == 0) {
            fd = k.nextFd++;
            k.m_open[fd] = path;
        }
    }
    k.opens.push_back({path, flags, fd});
    if (fd < 0)
        errno = error;
    return fd;
}

int Kernel::ioctl(int fd, unsigned long request, void* argument)
{
    Kernel& k = *s_current;
    auto open = k.m_open.find(fd);
    if (open == k.m_open.end()) {
        errno = EBADF;
        return -1;
    }
    if (request != SG_IO) {
        k.otherIoctls.push_back(request);
        errno = ENOTTY;
        return -1;
    }
    sg_io_hdr_t& io = *static_cast<sg_io_hdr_t*>(argument);
    SgCall call;
    call.fd = fd;
    call.hdr = io;
    call.cdb.assign(io.cmdp, io.cmdp + io.cmd_len);
    const uint8_t* data = static_cast<const uint8_t*>(io.dxferp);
    if (io.dxfer_direction == SG_DXFER_TO_DEV && data != nullptr)
        call.dataOut.assign(data, data + io.dxfer_len);
    if (io.dxfer_direction == SG_DXFER_FROM_DEV && data != nullptr && io.dxfer_len > 0)
        call.dataInHead = data[0];
    k.sgCalls.push_back(call);

    const Responder& answer = k.devices[open->second].answer;
    const int error = answer ? answer(io) : 0;
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

int Kernel::close(int fd)
{
    Kernel& k = *s_current;
    k.closes.push_back(fd);
    if (k.m_open.erase(fd) == 0) {
        errno = EBADF;
        return -1;
    }
    return 0;
}

int Kernel::listDirectory(const char* path, kv_dir_entry_fn entry, void* context)
{
    Kernel& k = *s_current;
    auto it = k.dirs.find(path);
    if (k.listError != 0 || it == k.dirs.end()) {
        errno = k.listError != 0 ? k.listError : ENOENT;
        return -1;
    }
    for (const std::string& name : it->second)
        entry(context, name.c_str());
    return 0;
}

long Kernel::readFile(const char* path, char* buffer, unsigned long size)
{
    Kernel& k = *s_current;
    auto it = k.files.find(path);
    if (it == k.files.end()) {
        errno = ENOENT;
        return -1;
    }
    const unsigned long n = it->second.size() < size - 1 ? it->second.size() : size - 1;
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = 0;
    return static_cast<long>(n);
}

int Kernel::resolvePath(const char* path, char* buffer, unsigned long size)
{
    Kernel& k = *s_current;
    auto it = k.links.find(path);
    if (it == k.links.end()) {
        errno = ENOENT;
        return -1;
    }
    if (it->second.size() >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(buffer, it->second.c_str(), it->second.size() + 1);
    return 0;
}

}  // namespace fake
