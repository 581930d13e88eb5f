/* A program of an integrator's kind: calls all nine RKM51DLL functions through
 * the shipped header and import library, with no C runtime at all (its own
 * entry point, no library but RKM51DLL). Run with no recorder attached, every
 * call must give its no-connection result.
 *
 * Exit code: kCallerPassed when every result and buffer is as expected, else
 * 128 + 8 * (check - 1) + value, where check numbers the first check that
 * failed (1 to 11, below) and value is the result it saw (7 for anything above
 * 6). Any other code means the program did not run: wine gives 0 when it cannot
 * start a program at all, and the low byte of the loader's status (53 for a
 * missing DLL) when it cannot load its imports. run_caller.sh reads the code
 * and names the check. */
#include "RKM51DLL.h"

#define kCallerPassed 42

/* Writable: CLogin and CSetPassword upper-case the caller's bytes in place. */
static char g_password[7] = "abc123";
static char g_newPassword[7] = "000000";
static const char g_number[14] = "A123456789012";
static RecorderTime g_setTime = {56, 34, 12, 31, 12, 2025};
/* Filled with marks that a call must overwrite, or leave, as its contract says. */
static RecorderTime g_getTime = {-1, -1, -1, -1, -1, -1};
static char g_readNumber[14] = "not-written!!";

static unsigned long failure(unsigned check, int value)
{
    return 128u + 8u * (check - 1u) + (value >= 0 && value < 7 ? (unsigned)value : 7u);
}

static int timeIsZero(const RecorderTime* t)
{
    return t->second == 0 && t->minute == 0 && t->hour == 0 && t->day == 0 && t->month == 0 && t->year == 0;
}

static int numberUntouched(void)
{
    static const char mark[14] = "not-written!!";
    for (int i = 0; i < 14; ++i) {
        if (g_readNumber[i] != mark[i]) return 0;
    }
    return 1;
}

/* Called by the loader like a thread routine, with one pointer argument. */
unsigned long __stdcall kv_caller_entry(void* unused)
{
    (void)unused;
    int r;
    if ((r = CConnectDV()) != 0) return failure(1, r);
    if ((r = CLogin(g_password)) != 0) return failure(2, r);
    if ((r = CSetPassword(g_newPassword)) != 0) return failure(3, r);
    if ((r = CSetTime(&g_setTime)) != 0) return failure(4, r);
    if ((r = CGetTime(&g_getTime)) != 0) return failure(5, r);
    if (!timeIsZero(&g_getTime)) return failure(6, 0);
    if ((r = CSetID(g_number)) != 0) return failure(7, r);
    if ((r = CGetID(g_readNumber)) != 0) return failure(8, r);
    if (!numberUntouched()) return failure(9, 0);
    if ((r = CIntoUDiskMode()) != 0) return failure(10, r);
    if ((r = CDisconnectDV()) != 1) return failure(11, r);
    return kCallerPassed;
}
