// Volume sources that do not depend on the platform: one named path, and the
// platform's volumes as a list.
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

void ListCandidatePaths(CandidatePaths& out)
{
    out.count = 0;
    PlatformVolumes volumes;
    VolumePath path;
    while (out.count < CandidatePaths::kMaxPaths && volumes.next(path)) {
        const size_t n = std::strlen(path.text);
        if (n < size_t(CandidatePaths::kMaxPathLength))
            std::memcpy(out.path[out.count++], path.text, n + 1);
    }
}
