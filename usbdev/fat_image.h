// A small, freshly formatted FAT12 volume for the disk behind READ/WRITE(10).
#pragma once

#include <cstdint>
#include <vector>

namespace usbdev {

constexpr uint32_t kBlockSize = 512;

// An empty FAT12 volume of `blocks` 512-byte blocks (at least 64, at most
// 32768) labelled "RECORDER"; a boot sector, two FATs and the root directory.
std::vector<uint8_t> makeFatImage(uint32_t blocks);

}  // namespace usbdev
