#include "import_patch.h"

#include <cstring>

namespace {

template <typename T>
T* at(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

bool writeEntry(ULONG_PTR* entry, ULONG_PTR value)
{
    DWORD old = 0;
    if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old))
        return false;
    *entry = value;
    DWORD ignored = 0;
    VirtualProtect(entry, sizeof *entry, old, &ignored);
    return true;
}

}  // namespace

void* replaceImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = at<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;

    for (auto* desc = at<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); desc->Name != 0; ++desc) {
        if (_stricmp(at<const char>(module, desc->Name), dll) != 0)
            continue;
        // The lookup table keeps the names; the address table the bound addresses.
        const DWORD lookup = desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk;
        auto* names = at<IMAGE_THUNK_DATA>(module, lookup);
        auto* addresses = at<IMAGE_THUNK_DATA>(module, desc->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName = at<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            void* previous = reinterpret_cast<void*>(addresses->u1.Function);
            if (!writeEntry(reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function),
                            reinterpret_cast<ULONG_PTR>(replacement)))
                return nullptr;
            return previous;
        }
    }
    return nullptr;
}
