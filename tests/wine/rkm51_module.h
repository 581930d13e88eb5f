// The shipped RKM51DLL, loaded with LoadLibrary, every export resolved by its
// plain and by its decorated name and called through the stdcall pointer types
// of the public header.
#pragma once

#include "RKM51DLL.h"

#include <windows.h>

#include <string>

// The nine exports and the byte count of their arguments (the @N of the
// decorated name), in ordinal order.
struct ExportName {
    const char* plain;
    int argumentBytes;
};
extern const ExportName kExportNames[9];

// "_CLogin@4" for {"CLogin", 4}.
std::string decoratedName(const ExportName& name);

struct Rkm51Functions {
    decltype(&::CConnectDV) CConnectDV;
    decltype(&::CDisconnectDV) CDisconnectDV;
    decltype(&::CGetID) CGetID;
    decltype(&::CGetTime) CGetTime;
    decltype(&::CIntoUDiskMode) CIntoUDiskMode;
    decltype(&::CLogin) CLogin;
    decltype(&::CSetID) CSetID;
    decltype(&::CSetPassword) CSetPassword;
    decltype(&::CSetTime) CSetTime;
};

// Where the DLL under test is: $KV_RKM51DLL, else RKM51DLL.dll on the search path.
std::string rkm51Path();

class Rkm51Module {
public:
    Rkm51Module() = default;
    Rkm51Module(const Rkm51Module&) = delete;
    Rkm51Module& operator=(const Rkm51Module&) = delete;
    ~Rkm51Module() { unload(); }

    // Loads the DLL and resolves the nine functions. False with `error` set
    // when it does not load or an export is missing under either name, or the
    // two names lead to different addresses.
    bool load(const std::string& path, std::string* error);
    void unload();

    HMODULE handle() const { return m_module; }
    const Rkm51Functions& fn() const { return m_fn; }

private:
    HMODULE m_module = nullptr;
    Rkm51Functions m_fn = {};
};
