// A kernel in memory behind the Linux backend's table: a /dev listing, sysfs
// attributes and links, device nodes that answer SG_IO, and a log of every call.
#pragma once

#include "platform_linux.h"

#include <scsi/sg.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

// One SG_IO request as it reached the kernel.
struct SgCall {
    int fd = -1;
    sg_io_hdr_t hdr{};            // the header as it arrived
    std::vector<uint8_t> cdb;     // cmd_len bytes at cmdp
    std::vector<uint8_t> dataOut; // dxfer_len bytes at dxferp, for SG_DXFER_TO_DEV
    uint8_t dataInHead = 0;       // the first byte at dxferp, for SG_DXFER_FROM_DEV
};

// Answers one request in place (data at dxferp, status, sense at sbp,
// sb_len_wr, resid, host and driver status). Returns 0, or an errno for the
// ioctl to fail with.
using Responder = std::function<int(sg_io_hdr_t&)>;

// A recorder: probe answered by variant 1 (AA 55) or 2 ("AIT"), every
// management command with status byte 1.
Responder recorder(int variant = 1);
// An ordinary disk: INQUIRY answered, vendor commands refused with CHECK
// CONDITION, ILLEGAL REQUEST, invalid command operation code.
Responder disk();

struct Device {
    int openError = 0;  // errno of open(2), 0: it opens
    Responder answer;
};

class Kernel {
public:
    Kernel();   // puts itself in place of the running kernel
    ~Kernel();  // the running kernel again
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // A SCSI disk sdX: its /dev node, /sys/block/sdX/removable and the sysfs
    // device path that /sys/block/sdX resolves to.
    Device& addDisk(const std::string& name, bool removable, const std::string& sysfsPath,
                    Responder answer);
    // The same on a USB bus (".../usb2/2-1/...").
    Device& addUsbDisk(const std::string& name, Responder answer, bool removable = true);
    // A /dev entry with nothing behind it (tty, sda1 ...).
    void addDevEntry(const std::string& name) { dirs["/dev"].push_back(name); }

    std::map<std::string, std::vector<std::string>> dirs;  // listings by directory
    std::map<std::string, std::string> files;              // file contents by path
    std::map<std::string, std::string> links;              // canonical paths by path
    std::map<std::string, Device> devices;                 // device nodes by path
    int listError = 0;                                     // errno of every listing, 0: none

    struct Open {
        std::string path;
        int flags;
        int fd;
    };
    std::vector<Open> opens;
    std::vector<SgCall> sgCalls;
    std::vector<int> closes;
    std::vector<unsigned long> otherIoctls;
    int nextFd = 0;  // descriptor 0 first: a valid handle all the same

    // The paths opened, in order.
    std::vector<std::string> openedPaths() const;

private:
    static Kernel* s_current;
    const kv_kernel* m_replaced;
    std::map<int, std::string> m_open;  // descriptor -> path

    static int open(const char* path, int flags);
    static int ioctl(int fd, unsigned long request, void* argument);
    static int close(int fd);
    static int listDirectory(const char* path, kv_dir_entry_fn entry, void* context);
    static long readFile(const char* path, char* buffer, unsigned long size);
    static int resolvePath(const char* path, char* buffer, unsigned long size);
    static const kv_kernel kTable;
};

}  // namespace fake
