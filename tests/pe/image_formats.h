// Decoding of bitmap and icon resources: the bitmap header at the start of an
// RT_BITMAP or RT_ICON resource and the directory of an RT_GROUP_ICON resource.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_view.h"

namespace kvpe {

constexpr uint32_t kBiRgb = 0;

struct BitmapHeader {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;

    // Bytes of one row of pixels, padded to four bytes.
    size_t Stride() const;
    // Entries of the colour table that follows the header.
    size_t PaletteEntries() const;
};

// Fails, naming it, on a PNG image in place of a bitmap.
bool DecodeBitmapHeader(ByteView data, BitmapHeader* out, std::string* error);

struct GroupIconEntry {
    uint8_t width = 0;  // 0 means 256
    uint8_t height = 0;
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t bytesInRes = 0;
    uint16_t iconId = 0;  // name of the RT_ICON resource
};

bool DecodeGroupIcon(ByteView data, std::vector<GroupIconEntry>* out, std::string* error);

}  // namespace kvpe
