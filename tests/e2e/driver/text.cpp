#include "text.h"

#include <windows.h>

namespace e2e {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    return out;
}

static std::string fromWide(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string narrow(const std::wstring& utf16) { return fromWide(CP_UTF8, utf16); }

std::string toGbk(const std::wstring& text) { return fromWide(936, text); }

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace e2e
