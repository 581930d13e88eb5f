// The volumes of a Windows PC: the drive letters D to Z, in ascending order.
#include "VolumeCandidates.h"

#include <cstring>

bool PlatformVolumes::next(VolumePath& path)
{
    constexpr char kFirst = 'D';
    constexpr char kLast = 'Z';
    if (m_handedOut > uint32_t(kLast - kFirst))
        return false;
    static const char kTemplate[] = "\\\\.\\F:";
    std::memcpy(path.text, kTemplate, sizeof kTemplate);
    path.text[4] = static_cast<char>(kFirst + m_handedOut);
    ++m_handedOut;
    return true;
}
