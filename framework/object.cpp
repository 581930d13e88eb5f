#include "object.h"

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* cls = this; cls != nullptr; cls = cls->m_pBaseClass)
        if (cls == base)
            return true;
    return false;
}

const CRuntimeClass CObject::classCObject = {"CObject", nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* cls) const
{
    return GetRuntimeClass()->IsDerivedFrom(cls);
}
