// A volume source of one path: the drive a user named.
#include "VolumeCandidates.h"

#include <cstring>

bool SingleVolume::next(VolumePath& path)
{
    if (m_done || m_path == nullptr)
        return false;
    m_done = true;
    const size_t n = std::strlen(m_path);
    if (n >= VolumePath::kCapacity)
        return false;
    std::memcpy(path.text, m_path, n + 1);
    return true;
}
