// Bounds-checked little-endian reads over a block of bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvpe {

class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

    bool Has(size_t offset, size_t count) const
    {
        return offset <= size_ && count <= size_ - offset;
    }

    bool U8(size_t offset, uint8_t* out) const
    {
        if (!Has(offset, 1)) return false;
        *out = data_[offset];
        return true;
    }
    bool U16(size_t offset, uint16_t* out) const
    {
        if (!Has(offset, 2)) return false;
        *out = static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
        return true;
    }
    bool U32(size_t offset, uint32_t* out) const
    {
        if (!Has(offset, 4)) return false;
        *out = static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
               (static_cast<uint32_t>(data_[offset + 2]) << 16) |
               (static_cast<uint32_t>(data_[offset + 3]) << 24);
        return true;
    }
    bool U64(size_t offset, uint64_t* out) const
    {
        uint32_t lo = 0, hi = 0;
        if (!U32(offset, &lo) || !U32(offset + 4, &hi)) return false;
        *out = (static_cast<uint64_t>(hi) << 32) | lo;
        return true;
    }
    bool I16(size_t offset, int16_t* out) const
    {
        uint16_t v = 0;
        if (!U16(offset, &v)) return false;
        *out = static_cast<int16_t>(v);
        return true;
    }
    bool I32(size_t offset, int32_t* out) const
    {
        uint32_t v = 0;
        if (!U32(offset, &v)) return false;
        *out = static_cast<int32_t>(v);
        return true;
    }

    // Reads a zero-terminated UTF-16 string starting at offset; *next is the
    // offset behind the terminator.
    bool Utf16z(size_t offset, std::u16string* out, size_t* next) const;

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// UTF-16 (with surrogate pairs) to UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(const std::u16string& text);

inline size_t AlignUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace kvpe
