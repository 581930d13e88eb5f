/* Calls the exports of a shipped RKM51DLL.dll one step after another, as
 * named on the command line, and writes one line per step:
 *
 *   rkm51_caller.exe DLL OUTFILE STEP...
 *
 * Steps: connect, disconnect, login=XXXXXX, setpw=XXXXXX,
 * settime=YYYY-MM-DD-hh-mm-ss, settime=now, gettime, setid=<13 chars>, getid,
 * udisk, exports (both names of all nine), sync=NAME (creates
 * Z:\tmp\kv-sync\NAME.req and waits until NAME.ack appears there, for
 * whoever runs the caller to look at or change the recorder meanwhile).
 * Each line: "<step> result=<int> ms=<elapsed> [details]". */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    int second, minute, hour, day, month, year;
} RecorderTime;

typedef int(__stdcall* Fn0)(void);
typedef int(__stdcall* FnP)(void*);

static HMODULE g_dll;
static FILE* g_out;

typedef void (*AnyFn)(void);

/* An export by name; the cast through AnyFn says that its type is known here. */
static AnyFn need(const char* name)
{
    FARPROC p = GetProcAddress(g_dll, name);
    if (!p) {
        fprintf(g_out, "missing export %s\n", name);
        fflush(g_out);
        exit(3);
    }
    return (AnyFn)p;
}

static void hex(const char* label, const unsigned char* p, int n)
{
    int i;
    fprintf(g_out, " %s=", label);
    for (i = 0; i < n; ++i)
        fprintf(g_out, "%02x", p[i]);
}

static int exportsStep(void)
{
    static const char* names[9][2] = {
        {"CConnectDV", "_CConnectDV@0"}, {"CDisconnectDV", "_CDisconnectDV@0"}, {"CGetID", "_CGetID@4"},
        {"CGetTime", "_CGetTime@4"},     {"CIntoUDiskMode", "_CIntoUDiskMode@0"}, {"CLogin", "_CLogin@4"},
        {"CSetID", "_CSetID@4"},         {"CSetPassword", "_CSetPassword@4"},   {"CSetTime", "_CSetTime@4"}};
    int i, same = 0;
    for (i = 0; i < 9; ++i) {
        FARPROC a = GetProcAddress(g_dll, names[i][0]);
        FARPROC b = GetProcAddress(g_dll, names[i][1]);
        if (a && a == b)
            ++same;
        else
            fprintf(g_out, " mismatch=%s", names[i][0]);
    }
    return same;
}

static int step(const char* s)
{
    const char* arg = strchr(s, '=');
    arg = arg ? arg + 1 : "";
    if (strcmp(s, "connect") == 0)
        return ((Fn0)need("CConnectDV"))();
    if (strcmp(s, "disconnect") == 0)
        return ((Fn0)need("CDisconnectDV"))();
    if (strcmp(s, "udisk") == 0)
        return ((Fn0)need("CIntoUDiskMode"))();
    if (strcmp(s, "exports") == 0)
        return exportsStep();
    if (strncmp(s, "login=", 6) == 0 || strncmp(s, "setpw=", 6) == 0) {
        char pw[7] = {0};
        int r;
        strncpy(pw, arg, 6);
        r = ((FnP)need(s[0] == 'l' ? "CLogin" : "CSetPassword"))(pw);
        hex("buffer", (unsigned char*)pw, 6);
        return r;
    }
    if (strncmp(s, "settime=", 8) == 0) {
        RecorderTime t;
        if (strcmp(arg, "now") == 0) {
            SYSTEMTIME st;
            GetLocalTime(&st);
            t.year = st.wYear;
            t.month = st.wMonth;
            t.day = st.wDay;
            t.hour = st.wHour;
            t.minute = st.wMinute;
            t.second = st.wSecond;
        } else if (sscanf(arg, "%d-%d-%d-%d-%d-%d", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second) != 6) {
            return -1000;
        }
        {
            int r = ((FnP)need("CSetTime"))(&t);
            fprintf(g_out, " sent=%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
            return r;
        }
    }
    if (strcmp(s, "gettime") == 0) {
        RecorderTime t;
        int r;
        memset(&t, 0x5A, sizeof t);
        r = ((FnP)need("CGetTime"))(&t);
        fprintf(g_out, " time=%d-%d-%d-%d-%d-%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
        return r;
    }
    if (strncmp(s, "setid=", 6) == 0) {
        char id[14] = {0};
        strncpy(id, arg, 13);
        return ((FnP)need("CSetID"))(id);
    }
    if (strcmp(s, "getid") == 0) {
        unsigned char id[14];
        int r;
        memset(id, 0xEE, sizeof id);
        r = ((FnP)need("CGetID"))(id);
        hex("id", id, 14);
        return r;
    }
    if (strncmp(s, "sync=", 5) == 0) {
        char req[MAX_PATH], ack[MAX_PATH];
        HANDLE h;
        int waited;
        snprintf(req, sizeof req, "Z:\\tmp\\kv-sync\\%s.req", arg);
        snprintf(ack, sizeof ack, "Z:\\tmp\\kv-sync\\%s.ack", arg);
        h = CreateFileA(req, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return -(int)GetLastError();
        CloseHandle(h);
        for (waited = 0; waited < 300000; waited += 50) {
            if (GetFileAttributesA(ack) != INVALID_FILE_ATTRIBUTES)
                return 1;
            Sleep(50);
        }
        return 0;
    }
    return -1000;
}

int main(int argc, char** argv)
{
    int i;
    LARGE_INTEGER freq, a, b;
    if (argc < 3)
        return 2;
    g_out = fopen(argv[2], "w");
    if (!g_out)
        return 2;
    g_dll = LoadLibraryA(argv[1]);
    if (!g_dll) {
        fprintf(g_out, "load failed error=%lu\n", GetLastError());
        fclose(g_out);
        return 3;
    }
    QueryPerformanceFrequency(&freq);
    for (i = 3; i < argc; ++i) {
        int r;
        fprintf(g_out, "%s", argv[i]);
        QueryPerformanceCounter(&a);
        r = step(argv[i]);
        QueryPerformanceCounter(&b);
        fprintf(g_out, " result=%d ms=%ld\n", r, (long)((b.QuadPart - a.QuadPart) * 1000 / freq.QuadPart));
        fflush(g_out);
    }
    fprintf(g_out, "end\n");
    fclose(g_out);
    return 0;
}
