// Puts a simulated storage stack behind a loaded RKM51DLL: the module's kernel32
// imports CreateFileA, DeviceIoControl, CloseHandle and GetLastError are pointed
// at forwarders into the stack, so the shipped binary runs unchanged against it.
#pragma once

#include "storage_stack.h"

#include <windows.h>

class SimImports {
public:
    SimImports() = default;
    SimImports(const SimImports&) = delete;
    SimImports& operator=(const SimImports&) = delete;
    ~SimImports() { detach(); }

    // Redirects the four imports of `module` to `stack`. False (and nothing
    // left redirected) when the module lacks any of them.
    bool attach(HMODULE module, sim::StorageStack* stack);
    // Restores the module's imports; the forwarders then reach no stack.
    void detach();

private:
    HMODULE m_module = nullptr;
    void* m_original[4] = {};
};
