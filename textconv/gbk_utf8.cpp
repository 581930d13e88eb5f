#include "gbk_utf8.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace gbk {
namespace {

#ifdef _WIN32
constexpr UINT kCodePageGbk = 936;

// Both directions go through UTF-16; flags refuse anything not exact.
Status toWide(UINT codePage, const std::string& in, std::wstring* out)
{
    out->clear();
    if (in.empty())
        return Status::Ok;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0)
        return Status::Invalid;
    out->resize(static_cast<size_t>(n));
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                        &(*out)[0], n);
    return Status::Ok;
}

Status fromWide(UINT codePage, const std::wstring& in, std::string* out)
{
    out->clear();
    if (in.empty())
        return Status::Ok;
    // UTF-8 takes neither flags nor a default character.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultArg = utf8 ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0, nullptr, usedDefaultArg);
    if (n <= 0)
        return utf8 ? Status::Invalid : Status::Unmappable;
    if (usedDefault)
        return Status::Unmappable;
    out->resize(static_cast<size_t>(n));
    WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), &(*out)[0], n,
                        nullptr, usedDefaultArg);
    if (usedDefault) {
        out->clear();
        return Status::Unmappable;
    }
    return Status::Ok;
}

Status convert(UINT from, UINT to, const std::string& in, std::string* out)
{
    std::wstring wide;
    const Status s = toWide(from, in, &wide);
    if (s != Status::Ok) {
        out->clear();
        return s;
    }
    return fromWide(to, wide, out);
}
#else
Status convert(const char* from, const char* to, const std::string& in, std::string* out)
{
    out->clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return Status::Unmappable;
    std::string result;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[256];
    Status status = Status::Ok;
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        result.append(buffer, static_cast<size_t>(dst - buffer));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ: an invalid sequence, or a valid character the target
            // lacks; tell them apart by whether the input alone is valid.
            status = errno == EINVAL ? Status::Invalid : Status::Unmappable;
            break;
        }
        // glibc counts characters converted irreversibly: none may be.
        if (r > 0) {
            status = Status::Unmappable;
            break;
        }
    }
    iconv_close(cd);
    if (status == Status::Unmappable) {
        // Same input into the source encoding's own UTF-32: invalid input fails there too.
        iconv_t check = iconv_open("UTF-32LE", from);
        if (check != reinterpret_cast<iconv_t>(-1)) {
            char* s2 = const_cast<char*>(in.data());
            size_t left2 = in.size();
            bool valid = true;
            while (left2 > 0 && valid) {
                char out2[256];
                char* d2 = out2;
                size_t dl2 = sizeof out2;
                if (iconv(check, &s2, &left2, &d2, &dl2) == static_cast<size_t>(-1) && errno != E2BIG)
                    valid = false;
            }
            iconv_close(check);
            if (!valid)
                status = Status::Invalid;
        }
    }
    if (status == Status::Ok)
        *out = result;
    return status;
}
#endif

}  // namespace

Status fromUtf8(const std::string& utf8, std::string* out)
{
#ifdef _WIN32
    return convert(CP_UTF8, kCodePageGbk, utf8, out);
#else
    return convert("UTF-8", "GBK", utf8, out);
#endif
}

Status toUtf8(const std::string& gbkText, std::string* out)
{
#ifdef _WIN32
    return convert(kCodePageGbk, CP_UTF8, gbkText, out);
#else
    return convert("GBK", "UTF-8", gbkText, out);
#endif
}

}  // namespace gbk
