#include "console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>
#else
#include <cerrno>
#include <clocale>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kvcli {
namespace {

void stripLineEnd(std::string* line)
{
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
        line->pop_back();
}

#ifdef _WIN32
std::string toUtf8(const wchar_t* text, int length)
{
    if (length == 0)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring toWide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

// A console gets UTF-16; a pipe or file gets the UTF-8 bytes.
void write(DWORD which, const std::string& text)
{
    HANDLE h = GetStdHandle(which);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring wide = toWide(text);
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}
#else
// The locale's encoding, with the plain C locale read as UTF-8.
std::string localeCodeset()
{
    const char* c = nl_langinfo(CODESET);
    std::string s = c ? c : "";
    if (s.empty() || s == "ANSI_X3.4-1968" || s == "ASCII" || s == "US-ASCII")
        return "UTF-8";
    return s;
}

bool isUtf8(const std::string& codeset)
{
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
}

bool convert(const std::string& from, const std::string& to, const std::string& in, std::string* out)
{
    out->clear();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    bool ok = true;
    while (left > 0) {
        char buffer[256];
        char* dst = buffer;
        size_t room = sizeof buffer;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out->append(buffer, static_cast<size_t>(dst - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

void write(int fd, const std::string& utf8)
{
    const std::string codeset = localeCodeset();
    std::string text = utf8;
    std::string local;
    if (!isUtf8(codeset) && convert("UTF-8", codeset + "//TRANSLIT", utf8, &local))
        text = local;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}
#endif

}  // namespace

Console::Console()
{
#ifndef _WIN32
    std::setlocale(LC_ALL, "");
#endif
}

const char* Console::variable(const char* name)
{
#ifdef _WIN32
    const std::wstring wide = toWide(name);
    const wchar_t* value = _wgetenv(wide.c_str());
    if (value == nullptr)
        return nullptr;
    m_variable = toUtf8(value, static_cast<int>(wcslen(value)));
    return m_variable.c_str();
#else
    const char* value = std::getenv(name);
    if (value == nullptr)
        return nullptr;
    const std::string codeset = localeCodeset();
    if (isUtf8(codeset) || !convert(codeset, "UTF-8", value, &m_variable))
        m_variable = value;
    return m_variable.c_str();
#endif
}

bool Console::readLine(std::string* line)
{
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line->push_back(static_cast<char>(c));
    }
    stripLineEnd(line);
    return any;
}

bool Console::readHidden(const std::string& prompt, std::string* line)
{
    line->clear();
#ifdef _WIN32
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) {
        CloseHandle(in);
        return false;
    }
    write(STD_ERROR_HANDLE, prompt);
    SetConsoleMode(in, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    wchar_t buffer[256];
    DWORD read = 0;
    const BOOL ok = ReadConsoleW(in, buffer, 255, &read, nullptr);
    SetConsoleMode(in, mode);
    CloseHandle(in);
    write(STD_ERROR_HANDLE, "\n");
    if (!ok)
        return false;
    *line = toUtf8(buffer, static_cast<int>(read));
    SecureZeroMemory(buffer, sizeof buffer);
#else
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    termios saved{};
    if (tcgetattr(fd, &saved) != 0) {
        ::close(fd);
        return false;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    write(fd, prompt);
    tcsetattr(fd, TCSAFLUSH, &quiet);
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line->push_back(c);
    tcsetattr(fd, TCSAFLUSH, &saved);
    write(fd, "\n");
    ::close(fd);
#endif
    stripLineEnd(line);
    return true;
}

void Console::out(const std::string& text)
{
#ifdef _WIN32
    write(STD_OUTPUT_HANDLE, text);
#else
    write(1, text);
#endif
}

void Console::err(const std::string& text)
{
#ifdef _WIN32
    write(STD_ERROR_HANDLE, text);
#else
    write(2, text);
#endif
}

#ifdef _WIN32
std::vector<std::string> commandLineArguments()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> out;
    for (int i = 1; argv != nullptr && i < argc; ++i)
        out.push_back(toUtf8(argv[i], static_cast<int>(wcslen(argv[i]))));
    if (argv != nullptr)
        LocalFree(argv);
    return out;
}
#else
bool argumentsAsUtf8(int argc, char** argv, std::vector<std::string>* out, std::string* bad)
{
    const std::string codeset = localeCodeset();
    for (int i = 1; i < argc; ++i) {
        std::string text;
        if (isUtf8(codeset)) {
            text = argv[i];
            // Checked by converting it to itself: invalid UTF-8 fails.
            std::string check;
            if (!convert("UTF-8", "UTF-8", text, &check)) {
                *bad = argv[i];
                return false;
            }
        } else if (!convert(codeset, "UTF-8", argv[i], &text)) {
            *bad = argv[i];
            return false;
        }
        out->push_back(text);
    }
    return true;
}
#endif

}  // namespace kvcli
