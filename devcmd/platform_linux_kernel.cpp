// The running kernel behind the Linux backend's table of system calls.
#include "platform_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

int openFile(const char* path, int flags) { return ::open(path, flags); }

int ioControl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

int closeFile(int fd) { return ::close(fd); }

int listDirectory(const char* path, kv_dir_entry_fn entry, void* context)
{
    DIR* dir = ::opendir(path);
    if (dir == nullptr)
        return -1;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        entry(context, e->d_name);
    }
    ::closedir(dir);
    return 0;
}

long readFile(const char* path, char* buffer, unsigned long size)
{
    if (size == 0) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    unsigned long total = 0;
    while (total < size - 1) {
        const ssize_t n = ::read(fd, buffer + total, size - 1 - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        if (n == 0)
            break;
        total += static_cast<unsigned long>(n);
    }
    ::close(fd);
    buffer[total] = 0;
    return static_cast<long>(total);
}

int resolvePath(const char* path, char* buffer, unsigned long size)
{
    char resolved[PATH_MAX];
    if (::realpath(path, resolved) == nullptr)
        return -1;
    const size_t n = std::strlen(resolved);
    if (n >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(buffer, resolved, n + 1);
    return 0;
}

const kv_kernel kRunningKernel = {openFile, ioControl, closeFile, listDirectory, readFile, resolvePath};

std::atomic<const kv_kernel*> g_kernel{&kRunningKernel};

}  // namespace

extern "C" const kv_kernel* kv_real_kernel(void) { return &kRunningKernel; }

extern "C" const kv_kernel* kv_set_kernel(const kv_kernel* kernel)
{
    return g_kernel.exchange(kernel != nullptr ? kernel : &kRunningKernel);
}

const kv_kernel& plat::kernel() { return *g_kernel.load(); }
