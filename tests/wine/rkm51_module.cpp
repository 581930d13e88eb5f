#include "rkm51_module.h"

#include <cstdlib>

const ExportName kExportNames[9] = {
    {"CConnectDV", 0}, {"CDisconnectDV", 0}, {"CGetID", 4},
    {"CGetTime", 4},   {"CIntoUDiskMode", 0}, {"CLogin", 4},
    {"CSetID", 4},     {"CSetPassword", 4},   {"CSetTime", 4},
};

std::string decoratedName(const ExportName& name)
{
    return "_" + std::string(name.plain) + "@" + std::to_string(name.argumentBytes);
}

std::string rkm51Path()
{
    const char* path = std::getenv("KV_RKM51DLL");
    return path && *path ? path : "RKM51DLL.dll";
}

namespace {

// The function under both its names; null (and `error` set) unless both
// resolve to the same address.
FARPROC resolveBoth(HMODULE module, const ExportName& name, std::string* error)
{
    FARPROC plain = GetProcAddress(module, name.plain);
    const std::string decorated = decoratedName(name);
    FARPROC viaDecorated = GetProcAddress(module, decorated.c_str());
    if (plain == nullptr || viaDecorated == nullptr) {
        *error = std::string("export missing: ") + (plain ? decorated : std::string(name.plain));
        return nullptr;
    }
    if (plain != viaDecorated) {
        *error = std::string(name.plain) + " and " + decorated + " are different functions";
        return nullptr;
    }
    return plain;
}

template <typename F>
bool bind(HMODULE module, int index, F* slot, std::string* error)
{
    FARPROC p = resolveBoth(module, kExportNames[index], error);
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(p));
    return p != nullptr;
}

}  // namespace

bool Rkm51Module::load(const std::string& path, std::string* error)
{
    unload();
    m_module = LoadLibraryA(path.c_str());
    if (m_module == nullptr) {
        *error = "LoadLibrary(" + path + ") failed, error " + std::to_string(GetLastError());
        return false;
    }
    const bool ok = bind(m_module, 0, &m_fn.CConnectDV, error) &&
                    bind(m_module, 1, &m_fn.CDisconnectDV, error) &&
                    bind(m_module, 2, &m_fn.CGetID, error) &&
                    bind(m_module, 3, &m_fn.CGetTime, error) &&
                    bind(m_module, 4, &m_fn.CIntoUDiskMode, error) &&
                    bind(m_module, 5, &m_fn.CLogin, error) &&
                    bind(m_module, 6, &m_fn.CSetID, error) &&
                    bind(m_module, 7, &m_fn.CSetPassword, error) &&
                    bind(m_module, 8, &m_fn.CSetTime, error);
    if (!ok)
        unload();
    return ok;
}

void Rkm51Module::unload()
{
    if (m_module != nullptr)
        FreeLibrary(m_module);
    m_module = nullptr;
    m_fn = {};
}
