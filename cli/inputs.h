// What the user gives besides the command line's words: passwords, a time,
// a police number; each checked before anything is sent.
#pragma once

#include "DeviceTime.h"
#include "environment.h"
#include "management.h"

#include <string>

namespace kvcli {

// Where the passwords come from: the log-in password from KORVANE_PASSWORD,
// else (with --password-stdin) the next line of standard input, else a
// prompt without echo; a new password from standard input or a prompt.
class PasswordSource {
public:
    PasswordSource(Environment& env, bool fromStdin) : m_env(env), m_stdin(fromStdin) {}

    // false with `error` set when there is none to be had, or it is longer
    // than the recorder's six characters.
    bool loginPassword(std::string* password, std::string* error);
    bool newPassword(const std::string& prompt, std::string* password, std::string* error);

private:
    bool read(const std::string& prompt, std::string* password, std::string* error);

    Environment& m_env;
    bool m_stdin;
};

// The password as the wire carries it: six bytes, zero-filled, a to z upper-cased.
void passwordBytes(const std::string& password, char (&out)[kPasswordLength + 1]);

// YYYY-MM-DDTHH:MM:SS (or with a space for the T), a real calendar date.
bool parseTime(const std::string& text, DeviceTime* time);
// 2026-12-10T12:34:56, or with a space for the T.
std::string formatTime(const DeviceTime& time, char separator = 'T');

// The police number in GBK, zero-filled to 13 bytes and a terminating zero.
// false with `error` set when it has a character GBK lacks, is not valid
// UTF-8, or takes more than 13 bytes.
bool policeNumberBytes(const std::string& utf8, char (&out)[kPoliceNumberBufferSize], std::string* error);
// The recorder's 13 bytes up to the first zero: as UTF-8 text (false when
// they are not GBK text) and as hexadecimal digits.
bool policeNumberText(const char* bytes, std::string* utf8, std::string* hex);

}  // namespace kvcli
