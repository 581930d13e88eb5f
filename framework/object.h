// Root of the framework's classes and the small run-time class information
// that lets a program ask an object which class it is.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;

    // True when this class is `base` or derives from it.
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class body: the class's run-time information (no dynamic creation).
#define DECLARE_DYNAMIC(class_name)                                   \
public:                                                               \
    static const CRuntimeClass class##class_name;                     \
    const CRuntimeClass* GetRuntimeClass() const override;

// At namespace scope in one source file.
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                       \
    const CRuntimeClass class_name::class##class_name = {#class_name,                        \
                                                         RUNTIME_CLASS(base_class_name)};    \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

class CObject {
public:
    static const CRuntimeClass classCObject;

    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* cls) const;
};
