// Text between UTF-8 and GBK (code page 936), the encoding the recorder keeps
// its police number in. Nothing is guessed: a character GBK lacks, or bytes
// that are not text in the source encoding, make the conversion fail.
#pragma once

#include <string>

namespace gbk {

enum class Status {
    Ok,
    Invalid,      // the input is not valid in its own encoding
    Unmappable,   // a character the target encoding has no code for
};

// UTF-8 to GBK.
Status fromUtf8(const std::string& utf8, std::string* out);
// GBK to UTF-8.
Status toUtf8(const std::string& gbk, std::string* out);

}  // namespace gbk
