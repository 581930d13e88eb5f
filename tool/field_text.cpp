#include "field_text.h"

#include "gbk.h"

#include <cstring>

namespace {

// Room for the longest text a field sends: a byte takes at most one UTF-16 unit.
constexpr int kMaxFieldBytes = 64;

}  // namespace

void LimitToGbkBytes(CMeasuredEdit& field, int bytes)
{
    // A character takes at least one byte: the control's own limit in
    // characters never cuts what the byte limit lets through.
    field.LimitText(bytes);
    field.LimitMeasured(bytes, TextMeasure{&gbk::ByteLength, &gbk::UnitsWithin});
}

FieldTextResult ReadGbkField(const CWnd& field, char* buffer, int size)
{
    std::memset(buffer, 0, static_cast<size_t>(size));
    const int bytes = size - 1 < kMaxFieldBytes ? size - 1 : kMaxFieldBytes;
    if (bytes <= 0)
        return FieldTextResult::Encoded;
    // `bytes` bytes of GBK come from at most `bytes` units of text; only a
    // text the program set itself can be longer than the field's limit.
    wchar_t text[kMaxFieldBytes + 1] = {0};
    const int read = field.GetWindowText(text, bytes + 1);
    const int units = gbk::UnitsWithin(text, read, bytes);
    const bool encodable = gbk::CanEncode(text, units);
    gbk::Encode(text, units, buffer, bytes);
    return encodable ? FieldTextResult::Encoded : FieldTextResult::NotEncodable;
}
