#include "byte_view.h"

namespace kvpe {

bool ByteView::Utf16z(size_t offset, std::u16string* out, size_t* next) const
{
    out->clear();
    for (size_t at = offset;; at += 2) {
        uint16_t unit = 0;
        if (!U16(at, &unit)) return false;
        if (unit == 0) {
            *next = at + 2;
            return true;
        }
        out->push_back(static_cast<char16_t>(unit));
    }
}

namespace {

void AppendUtf8(uint32_t cp, std::string* out)
{
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::string ToUtf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            uint32_t low = text[++i];
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(0xFFFD, &out);
        } else {
            AppendUtf8(unit, &out);
        }
    }
    return out;
}

}  // namespace kvpe
