/* What the Linux backend of the device library asks of the kernel.
 *
 * Every system call of the backend goes through one table of function
 * pointers, so a test can stand in for the kernel: the block devices, the
 * SG_IO requests and the /dev and /sys listings of discovery. The table is
 * plain C, and librkm51.so exports the two functions below for the same
 * purpose; they are not part of RKM51DLL.h.
 */
#ifndef KV_PLATFORM_LINUX_H
#define KV_PLATFORM_LINUX_H

#ifdef __cplusplus
extern "C" {
#endif

/* Called once for each entry of a listed directory. */
typedef void (*kv_dir_entry_fn)(void* context, const char* name);

struct kv_kernel {
    /* open(2), ioctl(2), close(2): -1 with errno set on failure. */
    int (*open)(const char* path, int flags);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    int (*close)(int fd);
    /* Calls entry for every name in the directory but "." and "..";
     * 0, or -1 with errno set when it cannot be read. */
    int (*list_directory)(const char* path, kv_dir_entry_fn entry, void* context);
    /* Reads at most size - 1 bytes of a small file (a sysfs attribute) and
     * ends them with a zero; the count read, or -1 with errno set. */
    long (*read_file)(const char* path, char* buffer, unsigned long size);
    /* Writes the canonical form of path (every symbolic link resolved) into
     * buffer; 0, or -1 with errno set (ENAMETOOLONG when it does not fit). */
    int (*resolve_path)(const char* path, char* buffer, unsigned long size);
};

/* The running kernel. */
__attribute__((visibility("default"))) const struct kv_kernel* kv_real_kernel(void);

/* Puts kernel in place of the one in use (null: the running kernel again) and
 * returns the one it replaces. The table must outlive its use. */
__attribute__((visibility("default"))) const struct kv_kernel* kv_set_kernel(const struct kv_kernel* kernel);

#ifdef __cplusplus
}

namespace plat {
// The table in use: the running kernel unless a test put another in place.
const kv_kernel& kernel();
}  // namespace plat
#endif

#endif
