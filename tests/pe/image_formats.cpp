#include "image_formats.h"

namespace kvpe {

size_t BitmapHeader::Stride() const
{
    const int32_t w = width < 0 ? -width : width;
    return (static_cast<size_t>(w) * bitCount + 31) / 32 * 4;
}

size_t BitmapHeader::PaletteEntries() const
{
    if (colorsUsed != 0) return colorsUsed;
    return bitCount <= 8 ? (size_t{1} << bitCount) : 0;
}

bool DecodeBitmapHeader(ByteView data, BitmapHeader* out, std::string* error)
{
    *out = BitmapHeader{};
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.Has(0, 8)) {
        bool png = true;
        for (size_t i = 0; i < 8; ++i) png = png && data.data()[i] == kPng[i];
        if (png) {
            *error = "PNG image, not a bitmap";
            return false;
        }
    }
    if (!data.U32(0, &out->headerSize) || out->headerSize < 40 || !data.I32(4, &out->width) ||
        !data.I32(8, &out->height) || !data.U16(12, &out->planes) || !data.U16(14, &out->bitCount) ||
        !data.U32(16, &out->compression) || !data.U32(32, &out->colorsUsed)) {
        *error = "no bitmap header";
        return false;
    }
    return true;
}

bool DecodeGroupIcon(ByteView data, std::vector<GroupIconEntry>* out, std::string* error)
{
    out->clear();
    uint16_t reserved = 0, type = 0, count = 0;
    if (!data.U16(0, &reserved) || !data.U16(2, &type) || !data.U16(4, &count) || reserved != 0 || type != 1) {
        *error = "not an icon group";
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = 6 + i * 14u;
        GroupIconEntry e;
        if (!data.U8(at, &e.width) || !data.U8(at + 1, &e.height) || !data.U8(at + 2, &e.colorCount) ||
            !data.U16(at + 4, &e.planes) || !data.U16(at + 6, &e.bitCount) || !data.U32(at + 8, &e.bytesInRes) ||
            !data.U16(at + 12, &e.iconId)) {
            *error = "truncated icon group";
            return false;
        }
        out->push_back(e);
    }
    return true;
}

}  // namespace kvpe
