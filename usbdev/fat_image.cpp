#include "fat_image.h"

#include <cstring>

namespace usbdev {
namespace {

void put16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

}  // namespace

std::vector<uint8_t> makeFatImage(uint32_t blocks)
{
    if (blocks < 64)
        blocks = 64;
    if (blocks > 32768)
        blocks = 32768;
    // FAT12 holds fewer than 4085 clusters.
    uint32_t perCluster = 4;
    while (blocks / perCluster >= 4000)
        perCluster *= 2;
    const uint32_t reserved = 1;
    const uint32_t rootEntries = 512;
    // FAT12: 1.5 bytes per cluster, clusters 0 and 1 reserved.
    const uint32_t clusters = blocks / perCluster;
    const uint32_t fatBlocks = ((clusters + 2) * 3 / 2 + kBlockSize - 1) / kBlockSize;

    std::vector<uint8_t> image(size_t(blocks) * kBlockSize, 0);
    uint8_t* b = image.data();
    const uint8_t jump[3] = {0xEB, 0x3C, 0x90};
    std::memcpy(b, jump, 3);
    std::memcpy(b + 3, "KORVANE ", 8);
    put16(b + 11, kBlockSize);
    b[13] = uint8_t(perCluster);
    put16(b + 14, reserved);
    b[16] = 2;  // FATs
    put16(b + 17, rootEntries);
    put16(b + 19, blocks);
    b[21] = 0xF8;  // fixed medium
    put16(b + 22, fatBlocks);
    put16(b + 24, 32);  // sectors per track
    put16(b + 26, 2);   // heads
    put32(b + 28, 0);   // hidden sectors
    b[36] = 0x80;
    b[38] = 0x29;
    put32(b + 39, 0x4B560001);
    std::memcpy(b + 43, "RECORDER   ", 11);
    std::memcpy(b + 54, "FAT12   ", 8);
    b[510] = 0x55;
    b[511] = 0xAA;

    for (uint32_t fat = 0; fat < 2; ++fat) {
        uint8_t* f = b + (reserved + fat * fatBlocks) * kBlockSize;
        f[0] = 0xF8;
        f[1] = 0xFF;
        f[2] = 0xFF;
    }
    uint8_t* root = b + (reserved + 2 * fatBlocks) * kBlockSize;
    std::memcpy(root, "RECORDER   ", 11);
    root[11] = 0x08;  // volume label
    return image;
}

}  // namespace usbdev
