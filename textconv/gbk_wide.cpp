// GBK through the Windows code page tables.
#include "gbk.h"

#include <windows.h>

namespace gbk {

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// UTF-16 units of the character that starts `text`.
int CharUnits(const wchar_t* text, int length)
{
    return length >= 2 && IsHighSurrogate(text[0]) && IsLowSurrogate(text[1]) ? 2 : 1;
}

// The GBK bytes of one character into `out`; 0 when GBK has no form of it.
// No best-fit mapping: a character either has its own bytes or none, and the
// bytes must read back as the same character.
int EncodeChar(const wchar_t* c, int units, char out[2])
{
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, c, units, out, 2,
                                        nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        return 0;
    wchar_t back[2] = {0, 0};
    const int m = ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, out, n, back, 2);
    if (m != units || back[0] != c[0] || (units == 2 && back[1] != c[1]))
        return 0;
    return n;
}

// Walks the characters of a text: for each, its units and its GBK bytes
// ('?' when it has none). `visit` returns false to stop.
template <class Visit>
void ForEachChar(const wchar_t* text, int length, Visit&& visit)
{
    for (int at = 0; at < length;) {
        const int units = CharUnits(text + at, length - at);
        char bytes[2] = {'?', 0};
        int n = EncodeChar(text + at, units, bytes);
        const bool encodable = n > 0;
        if (!encodable) {
            bytes[0] = '?';
            n = 1;
        }
        if (!visit(units, bytes, n, encodable))
            return;
        at += units;
    }
}

}  // namespace

int ByteLength(const wchar_t* text, int length)
{
    int total = 0;
    ForEachChar(text, length, [&](int, const char*, int n, bool) {
        total += n;
        return true;
    });
    return total;
}

int UnitsWithin(const wchar_t* text, int length, int bytes)
{
    int units = 0;
    int used = 0;
    ForEachChar(text, length, [&](int charUnits, const char*, int n, bool) {
        if (used + n > bytes)
            return false;
        used += n;
        units += charUnits;
        return true;
    });
    return units;
}

bool CanEncode(const wchar_t* text, int length)
{
    bool all = true;
    ForEachChar(text, length, [&](int, const char*, int, bool encodable) {
        all = encodable;
        return encodable;
    });
    return all;
}

int Encode(const wchar_t* text, int length, char* out, int size)
{
    int written = 0;
    ForEachChar(text, length, [&](int, const char* bytes, int n, bool) {
        if (written + n > size)
            return false;
        for (int i = 0; i < n; ++i)
            out[written++] = bytes[i];
        return true;
    });
    return written;
}

}  // namespace gbk
