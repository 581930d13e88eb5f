#include "fat_image.h"

#include <gtest/gtest.h>

#include <string>

namespace usbdev {
namespace {

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

TEST(FatImage, IsAnEmptyFat12VolumeOfTheAskedSize)
{
    for (uint32_t blocks : {64u, 8192u, 32768u}) {
        const std::vector<uint8_t> img = makeFatImage(blocks);
        ASSERT_EQ(img.size(), size_t(blocks) * 512);
        EXPECT_EQ(img[510], 0x55);
        EXPECT_EQ(img[511], 0xAA);
        EXPECT_EQ(le16(img, 11), 512u);
        EXPECT_EQ(le16(img, 19), blocks);
        const uint32_t perCluster = img[13], reserved = le16(img, 14), fats = img[16];
        const uint32_t rootBlocks = le16(img, 17) * 32 / 512, fatBlocks = le16(img, 22);
        const uint32_t dataBlocks = blocks - reserved - fats * fatBlocks - rootBlocks;
        const uint32_t clusters = dataBlocks / perCluster;
        EXPECT_LT(clusters, 4085u) << "FAT12 by cluster count";
        EXPECT_GE(fatBlocks * 512 * 2 / 3, clusters + 2) << "the FAT covers every cluster";
        EXPECT_EQ(std::string(img.begin() + 54, img.begin() + 62), "FAT12   ");
        // Both FATs start with the media byte; the root holds the volume label.
        for (uint32_t f = 0; f < 2; ++f) {
            const size_t at = (reserved + f * fatBlocks) * 512;
            EXPECT_EQ(img[at], 0xF8);
            EXPECT_EQ(img[at + 1], 0xFF);
            EXPECT_EQ(img[at + 2], 0xFF);
        }
        const size_t root = (reserved + 2 * fatBlocks) * 512;
        EXPECT_EQ(std::string(img.begin() + root, img.begin() + root + 11), "RECORDER   ");
        EXPECT_EQ(img[root + 11], 0x08);
    }
}

}  // namespace
}  // namespace usbdev
