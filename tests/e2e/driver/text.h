// Text conversions for the driver: window texts are read as UTF-16; test
// sources and messages are UTF-8.
#pragma once

#include <string>

namespace e2e {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
// Bytes of a text in GBK (code page 936), what the recorder reads, whatever
// the system's code page.
std::string toGbk(const std::wstring& text);
// Upper-case hex of bytes, two digits each, no separators.
std::string hex(const std::string& bytes);

}  // namespace e2e
