#include "sim_imports.h"

#include "import_patch.h"

namespace {

// The stack the forwarders reach; null when none is attached, in which case a
// forwarder (say, a stray call from the module's runtime during unload) goes to
// the real kernel32.
sim::StorageStack* g_stack = nullptr;

HANDLE WINAPI simCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (g_stack == nullptr)
        return ::CreateFileA(path, access, share, security, disposition, flags, templateFile);
    return g_stack->createFile(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI simDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (g_stack == nullptr)
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    return g_stack->deviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL WINAPI simCloseHandle(HANDLE handle)
{
    if (g_stack == nullptr)
        return ::CloseHandle(handle);
    return g_stack->closeHandle(handle);
}

DWORD WINAPI simGetLastError()
{
    if (g_stack == nullptr)
        return ::GetLastError();
    return g_stack->lastError();
}

struct Import {
    const char* name;
    void* forwarder;
};

const Import kImports[4] = {
    {"CreateFileA", reinterpret_cast<void*>(&simCreateFileA)},
    {"DeviceIoControl", reinterpret_cast<void*>(&simDeviceIoControl)},
    {"CloseHandle", reinterpret_cast<void*>(&simCloseHandle)},
    {"GetLastError", reinterpret_cast<void*>(&simGetLastError)},
};

}  // namespace

bool SimImports::attach(HMODULE module, sim::StorageStack* stack)
{
    detach();
    m_module = module;
    for (int i = 0; i < 4; ++i) {
        m_original[i] = replaceImport(module, "kernel32.dll", kImports[i].name, kImports[i].forwarder);
        if (m_original[i] == nullptr) {
            detach();
            return false;
        }
    }
    g_stack = stack;
    return true;
}

void SimImports::detach()
{
    g_stack = nullptr;
    if (m_module == nullptr)
        return;
    for (int i = 0; i < 4; ++i) {
        if (m_original[i] != nullptr)
            replaceImport(m_module, "kernel32.dll", kImports[i].name, m_original[i]);
        m_original[i] = nullptr;
    }
    m_module = nullptr;
}
