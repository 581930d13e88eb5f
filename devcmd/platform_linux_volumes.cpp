// The volumes of a Linux PC that discovery tries: the SCSI disks of /dev that
// the kernel marks removable and that sit on a USB bus, in the kernel's name
// order (sda ... sdz, sdaa ...: shorter names first, then alphabetical).
//
// Each step lists /dev afresh and takes the first disk name after the one
// handed out before, so a scan needs no memory beyond the last name.
#include "VolumeCandidates.h"
#include "platform_linux.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kNameCapacity = 32;

// "sd" followed by letters only: a whole disk, not one of its partitions.
bool isDiskName(const char* name)
{
    if (name[0] != 's' || name[1] != 'd' || name[2] == 0)
        return false;
    size_t n = 2;
    for (; name[n] != 0; ++n)
        if (name[n] < 'a' || name[n] > 'z')
            return false;
    return n < kNameCapacity;
}

// The kernel's order of disk names.
bool before(const char* a, const char* b)
{
    const size_t la = std::strlen(a);
    const size_t lb = std::strlen(b);
    return la != lb ? la < lb : std::strcmp(a, b) < 0;
}

struct NextName {
    const char* after;  // empty: from the start
    char found[kNameCapacity];
};

void considerEntry(void* context, const char* name)
{
    NextName& n = *static_cast<NextName*>(context);
    if (!isDiskName(name))
        return;
    if (n.after[0] != 0 && !before(n.after, name))
        return;
    if (n.found[0] == 0 || before(name, n.found))
        std::memcpy(n.found, name, std::strlen(name) + 1);
}

// A path component "usb" followed by digits: a USB bus (its root hub).
bool throughUsbBus(const char* path)
{
    for (const char* p = path; (p = std::strstr(p, "/usb")) != nullptr; ++p) {
        const char* q = p + 4;
        if (*q < '0' || *q > '9')
            continue;
        while (*q >= '0' && *q <= '9')
            ++q;
        if (*q == '/' || *q == 0)
            return true;
    }
    return false;
}

bool isRemovableUsbDisk(const kv_kernel& k, const char* name)
{
    char path[96];
    std::snprintf(path, sizeof path, "/sys/block/%s/removable", name);
    char removable[8];
    if (k.read_file(path, removable, sizeof removable) < 1 || removable[0] != '1')
        return false;
    std::snprintf(path, sizeof path, "/sys/block/%s", name);
    char device[VolumePath::kCapacity];
    return k.resolve_path(path, device, sizeof device) == 0 && throughUsbBus(device);
}

}  // namespace

bool PlatformVolumes::next(VolumePath& path)
{
    const kv_kernel& k = plat::kernel();
    for (;;) {
        NextName n;
        n.after = m_last;
        n.found[0] = 0;
        if (k.list_directory("/dev", considerEntry, &n) != 0 || n.found[0] == 0)
            return false;
        std::memcpy(m_last, n.found, sizeof n.found);
        if (isRemovableUsbDisk(k, m_last)) {
            std::snprintf(path.text, sizeof path.text, "/dev/%s", m_last);
            return true;
        }
    }
}
