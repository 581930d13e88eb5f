/* A C program that uses the installed librkm51.so as any caller would: found
 * with pkg-config, the nine functions of RKM51DLL.h. The kernel below it is a
 * small one of this program's own (the library's seam), first with no
 * recorder at all, then with a recorder behind an ordinary disk; every SG_IO
 * request that reaches it is kept and checked byte for byte. */
#include <RKM51DLL.h>

#include "platform_linux.h"

#include <errno.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <string.h>

static int failures;

#define CHECK(cond)                                                      \
    do {                                                                 \
        if (!(cond)) {                                                   \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                  \
        }                                                                \
    } while (0)

/* ---- the kernel ---- */

static int with_recorder;
static char opened[8][64];
static int open_count;

struct request {
    unsigned char cdb[16];
    int cmd_len;
    int direction;
    unsigned length;
    unsigned timeout;
    int interface_id;
    int sense_max;
};
static struct request requests[32];
static int request_count;

static const char* usb_path =
    "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/host2/target2:0:0/2:0:0:0/block/sdb";

static int fake_open(const char* path, int flags)
{
    (void)flags;
    if (open_count < 8)
        snprintf(opened[open_count++], sizeof opened[0], "%s", path);
    if (with_recorder && strcmp(path, "/dev/sdb") == 0)
        return 7;
    errno = ENOENT;
    return -1;
}

static void answer(sg_io_hdr_t* io)
{
    unsigned char* d = io->dxferp;
    const unsigned char* c = io->cmdp;
    if (io->dxfer_direction != SG_DXFER_FROM_DEV)
        return;
    memset(d, 0, io->dxfer_len);
    if (c[0] != 0xFA)
        return; /* INQUIRY: its answer is not read */
    if (c[3] == 0x01) {
        d[0] = 0xAA;
        d[1] = 0x55;
        return;
    }
    d[0] = 1; /* status byte: accepted / valid */
    if (c[4] == 0x08) {
        const unsigned char now[7] = {20, 26, 12, 10, 13, 5, 59};
        memcpy(d + 1, now, sizeof now);
    } else if (c[4] == 0x0A) {
        memcpy(d + 1, "JING12", 6);
    } else if (c[4] == 0x0B) {
        memcpy(d + 1, "3456789", 7);
    }
}

static int fake_ioctl(int fd, unsigned long request, void* argument)
{
    sg_io_hdr_t* io = argument;
    struct request* r;
    if (fd != 7 || request != SG_IO || request_count == 32) {
        errno = EINVAL;
        return -1;
    }
    r = &requests[request_count++];
    memset(r, 0, sizeof *r);
    memcpy(r->cdb, io->cmdp, io->cmd_len);
    r->cmd_len = io->cmd_len;
    r->direction = io->dxfer_direction;
    r->length = io->dxfer_len;
    r->timeout = io->timeout;
    r->interface_id = io->interface_id;
    r->sense_max = io->mx_sb_len;
    answer(io);
    return 0;
}

static int fake_close(int fd) { return fd == 7 ? 0 : -1; }

static int fake_list(const char* path, kv_dir_entry_fn entry, void* context)
{
    if (strcmp(path, "/dev") != 0) {
        errno = ENOENT;
        return -1;
    }
    entry(context, "null");
    if (with_recorder) {
        entry(context, "sdb");
        entry(context, "sda");
        entry(context, "sda1");
    }
    return 0;
}

static long fake_read(const char* path, char* buffer, unsigned long size)
{
    const char* text = NULL;
    if (with_recorder && strcmp(path, "/sys/block/sda/removable") == 0)
        text = "0\n";
    if (with_recorder && strcmp(path, "/sys/block/sdb/removable") == 0)
        text = "1\n";
    if (text == NULL) {
        errno = ENOENT;
        return -1;
    }
    snprintf(buffer, size, "%s", text);
    return (long)strlen(buffer);
}

static int fake_resolve(const char* path, char* buffer, unsigned long size)
{
    if (with_recorder && strcmp(path, "/sys/block/sdb") == 0) {
        snprintf(buffer, size, "%s", usb_path);
        return 0;
    }
    errno = ENOENT;
    return -1;
}

static const struct kv_kernel fake_kernel = {fake_open, fake_ioctl, fake_close,
                                             fake_list, fake_read,  fake_resolve};

/* ---- checks ---- */

static void check_request(int index, const unsigned char* cdb, int direction, unsigned length,
                          unsigned timeout)
{
    const struct request* r = &requests[index];
    unsigned char expected[16] = {0};
    memcpy(expected, cdb, 16);
    CHECK(index < request_count);
    CHECK(r->interface_id == 'S');
    CHECK(r->cmd_len == 16);
    CHECK(memcmp(r->cdb, expected, 16) == 0);
    CHECK(r->direction == direction);
    CHECK(r->length == length);
    CHECK(r->timeout == timeout);
    CHECK(r->sense_max == 24);
}

static void without_recorder(void)
{
    char password[7] = "000000";
    char number[14];
    RecorderTime t = {1, 2, 3, 4, 5, 2013};
    with_recorder = 0;

    CHECK(CConnectDV() == 0);
    CHECK(CDisconnectDV() == 1);
    CHECK(CLogin(password) == 0);
    CHECK(CSetPassword(password) == 0);
    CHECK(CSetTime(&t) == 0);
    CHECK(CGetTime(&t) == 0);
    CHECK(t.second == 0 && t.minute == 0 && t.hour == 0 && t.day == 0 && t.month == 0 && t.year == 0);
    memset(number, 'x', sizeof number);
    CHECK(CSetID("1234567890123") == 0);
    CHECK(CGetID(number) == 0);
    CHECK(number[0] == 'x' && number[13] == 'x');
    CHECK(CIntoUDiskMode() == 0);
    CHECK(CLogin(NULL) == 0 && CSetTime(NULL) == 0 && CGetID(NULL) == 0);
    CHECK(open_count == 0);
    CHECK(request_count == 0);
}

static void with_a_recorder(void)
{
    static const unsigned char probe[16] = {0xFA, 0x55, 0x66, 0x01};
    static const unsigned char login[16] = {0xFA, 0x55, 0x66, 0xFE, 0x07, 'A', 'B', 'C', '1', '2', '3'};
    static const unsigned char set_time[16] = {0xFA, 0x55, 0x66, 0xFE, 0x03, 20, 26, 12, 10, 13, 5, 59};
    static const unsigned char get_time[16] = {0xFA, 0x55, 0x66, 0xFE, 0x08};
    static const unsigned char set_id1[16] = {0xFA, 0x55, 0x66, 0xFE, 0x02, '1', '2', '3', '4', '5', '6'};
    static const unsigned char set_id2[16] = {0xFA, 0x55, 0x66, 0xFE, 0x09, '7', '8', '9', '0', '1', '2', '3'};
    static const unsigned char get_id1[16] = {0xFA, 0x55, 0x66, 0xFE, 0x0A};
    static const unsigned char get_id2[16] = {0xFA, 0x55, 0x66, 0xFE, 0x0B};
    static const unsigned char udisk[16] = {0xFA, 0x55, 0x66, 0xFE, 0x04};
    char password[7] = "abc123";
    char number[14];
    RecorderTime t = {59, 5, 13, 10, 12, 2026};
    RecorderTime got;
    with_recorder = 1;
    open_count = 0;
    request_count = 0;

    CHECK(CConnectDV() == 1);
    /* sda is not removable: only sdb is opened. */
    CHECK(open_count == 1 && strcmp(opened[0], "/dev/sdb") == 0);
    CHECK(request_count == 2);
    CHECK(requests[0].cmd_len == 6 && requests[0].cdb[0] == 0x12 && requests[0].cdb[4] == 36);
    CHECK(requests[0].length == 36 && requests[0].timeout == 2000);
    check_request(1, probe, SG_DXFER_FROM_DEV, 16, 2000);

    CHECK(CLogin(password) == 1);
    CHECK(memcmp(password, "ABC123", 6) == 0);
    check_request(2, login, SG_DXFER_FROM_DEV, 1, 2000);

    CHECK(CSetTime(&t) == 1);
    check_request(3, set_time, SG_DXFER_FROM_DEV, 1, 2000);

    CHECK(CGetTime(&got) == 1);
    CHECK(got.year == 2026 && got.month == 12 && got.day == 10);
    CHECK(got.hour == 13 && got.minute == 5 && got.second == 59);
    check_request(4, get_time, SG_DXFER_FROM_DEV, 8, 2000);

    CHECK(CSetID("1234567890123") == 1);
    check_request(5, set_id1, SG_DXFER_FROM_DEV, 1, 2000);
    check_request(6, set_id2, SG_DXFER_FROM_DEV, 1, 2000);

    CHECK(CGetID(number) == 1);
    CHECK(memcmp(number, "JING123456789", 14) == 0);
    check_request(7, get_id1, SG_DXFER_FROM_DEV, 7, 2000);
    check_request(8, get_id2, SG_DXFER_FROM_DEV, 8, 2000);

    CHECK(CIntoUDiskMode() == 1);
    check_request(9, udisk, SG_DXFER_FROM_DEV, 1, 2000);
    CHECK(request_count == 10);
}

int main(void)
{
    const struct kv_kernel* running = kv_set_kernel(&fake_kernel);
    CHECK(running == kv_real_kernel());
    without_recorder();
    with_a_recorder();
    CHECK(kv_set_kernel(NULL) == &fake_kernel);
    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("librkm51: all checks passed\n");
    return 0;
}
