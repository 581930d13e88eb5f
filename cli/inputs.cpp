#include "inputs.h"

#include "gbk_utf8.h"

#include <cstdio>
#include <cstring>

namespace kvcli {

bool PasswordSource::read(const std::string& prompt, std::string* password, std::string* error)
{
    if (m_stdin) {
        if (!m_env.readLine(password)) {
            *error = "standard input ended before the " + prompt + "; give one per line.";
            return false;
        }
    } else if (!m_env.readHidden(prompt + ": ", password)) {
        *error = "no " + prompt + ": set KORVANE_PASSWORD, use --password-stdin, or run korvane-cli on a terminal.";
        return false;
    }
    if (password->size() > static_cast<size_t>(kPasswordLength)) {
        *error = "the " + prompt + " is longer than the recorder's six characters.";
        return false;
    }
    return true;
}

bool PasswordSource::loginPassword(std::string* password, std::string* error)
{
    if (const char* value = m_env.variable("KORVANE_PASSWORD")) {
        *password = value;
        if (password->size() > static_cast<size_t>(kPasswordLength)) {
            *error = "KORVANE_PASSWORD is longer than the recorder's six characters.";
            return false;
        }
        return true;
    }
    return read("password", password, error);
}

bool PasswordSource::newPassword(const std::string& prompt, std::string* password, std::string* error)
{
    return read(prompt, password, error);
}

void passwordBytes(const std::string& password, char (&out)[kPasswordLength + 1])
{
    std::memset(out, 0, sizeof out);
    std::memcpy(out, password.data(), password.size() < sizeof out - 1 ? password.size() : sizeof out - 1);
    UppercasePassword(out);
}

bool parseTime(const std::string& text, DeviceTime* time)
{
    if (text.size() != 19)
        return false;
    static const char kPattern[] = "dddd-dd-ddTdd:dd:dd";
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (kPattern[i] == 'd' ? (c < '0' || c > '9') : kPattern[i] == 'T' ? (c != 'T' && c != ' ') : c != kPattern[i])
            return false;
    }
    auto number = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = 0; i < n; ++i)
            v = v * 10 + (text[at + i] - '0');
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
        return false;
    *time = DeviceTime{static_cast<uint16_t>(year), static_cast<uint16_t>(month), static_cast<uint16_t>(day),
                       static_cast<uint16_t>(hour), static_cast<uint16_t>(minute), static_cast<uint16_t>(second)};
    return true;
}

std::string formatTime(const DeviceTime& t, char separator)
{
    char b[40];
    std::snprintf(b, sizeof b, "%04u-%02u-%02u%c%02u:%02u:%02u", t.year, t.month, t.day, separator, t.hour,
                  t.minute, t.second);
    return b;
}

bool policeNumberBytes(const std::string& utf8, char (&out)[kPoliceNumberBufferSize], std::string* error)
{
    std::string bytes;
    switch (gbk::fromUtf8(utf8, &bytes)) {
    case gbk::Status::Ok:
        break;
    case gbk::Status::Invalid:
        *error = "the police number is not valid text in this terminal's encoding.";
        return false;
    case gbk::Status::Unmappable:
        *error = "the police number has a character that GBK (code page 936) lacks; the recorder cannot keep it.";
        return false;
    }
    if (bytes.size() > static_cast<size_t>(kPoliceNumberLength)) {
        *error = "the police number takes " + std::to_string(bytes.size()) +
                 " bytes in GBK; the recorder keeps 13 at most (a Chinese character takes 2).";
        return false;
    }
    if (bytes.find('\0') != std::string::npos) {
        *error = "the police number has a zero character.";
        return false;
    }
    std::memset(out, 0, sizeof out);
    std::memcpy(out, bytes.data(), bytes.size());
    return true;
}

bool policeNumberText(const char* bytes, std::string* utf8, std::string* hex)
{
    size_t n = 0;
    while (n < static_cast<size_t>(kPoliceNumberLength) && bytes[n] != 0)
        ++n;
    const std::string raw(bytes, n);
    hex->clear();
    char b[4];
    for (unsigned char c : raw) {
        std::snprintf(b, sizeof b, "%02x", c);
        *hex += b;
    }
    return gbk::toUtf8(raw, utf8) == gbk::Status::Ok;
}

}  // namespace kvcli
