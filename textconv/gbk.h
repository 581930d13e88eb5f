// The recorder reads its texts as GBK (code page 936), whatever code page the
// PC runs with: UTF-16 window texts are converted to GBK explicitly.
//
// A character is one UTF-16 unit or a surrogate pair. A character that GBK
// cannot encode is written, and counted, as the one byte '?'.
#pragma once

namespace gbk {

constexpr unsigned kCodePage = 936;

// Bytes of `text` (`length` UTF-16 units) in GBK.
int ByteLength(const wchar_t* text, int length);

// UTF-16 units of the longest run of whole characters at the start of `text`
// whose GBK form fits in `bytes` bytes.
int UnitsWithin(const wchar_t* text, int length, int bytes);

// True when every character of `text` has a GBK form.
bool CanEncode(const wchar_t* text, int length);

// Writes the GBK form of `text` into `out` (room for `size` bytes): as many
// whole characters as fit, nothing behind them. Returns the bytes written.
int Encode(const wchar_t* text, int length, char* out, int size);

}  // namespace gbk
