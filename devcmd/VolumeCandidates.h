// The volumes that discovery tries, and in which order.
#pragma once

#include <cstddef>
#include <cstdint>

// One path as discovery hands it to CreateFileA, zero-terminated.
struct VolumePath {
    static constexpr size_t kCapacity = 256;
    char text[kCapacity];
};

// A sequence of volume paths, tried in the order given.
class VolumeSource {
public:
    // Writes the next path and returns true; false once none is left.
    virtual bool next(VolumePath& path) = 0;
    // A path the user named keeps the reason it could not be opened; the scan
    // passes over volumes that do not open without asking why.
    virtual bool keepsOpenError() const { return false; }

protected:
    ~VolumeSource() = default;
};

// The volumes of this platform, in discovery order:
//   Windows  the drive letters D to Z, "\\.\D:" to "\\.\Z:";
//   Linux    the removable SCSI disks on a USB bus, in the kernel's name order
//            (/dev/sda ... /dev/sdz, /dev/sdaa ...).
// Each scan starts from a fresh object.
class PlatformVolumes final : public VolumeSource {
public:
    bool next(VolumePath& path) override;

private:
    uint32_t m_handedOut = 0;  // drive letters: how many were handed out
    char m_last[32] = {};      // disk names: the last name considered
};

// Exactly one given path (a drive the user named), once.
class SingleVolume final : public VolumeSource {
public:
    explicit SingleVolume(const char* path) : m_path(path) {}
    // False also when the path is null or longer than a VolumePath holds.
    bool next(VolumePath& path) override;
    bool keepsOpenError() const override { return true; }

private:
    const char* m_path;
    bool m_done = false;
};

// The platform's volumes as a list, for a caller that tries each in turn
// (UsbScsiCmd::OpenPath). A path longer than a slot holds is left out.
struct CandidatePaths {
    static constexpr int kMaxPaths = 64;
    static constexpr int kMaxPathLength = 32;
    int count = 0;
    char path[kMaxPaths][kMaxPathLength];
};
void ListCandidatePaths(CandidatePaths& out);
