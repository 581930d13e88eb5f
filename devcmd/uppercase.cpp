#include "management.h"

char* UppercasePassword(char* password)
{
    for (int i = 0; i < kPasswordLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(password[i]);
        if (c >= 'a' && c <= 'z')
            password[i] = static_cast<char>(c - 0x20);
    }
    return password;
}
