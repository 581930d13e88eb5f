// GBK conversions of field texts, under wine on whatever code page the run
// has: the conversion must not depend on it.
#include "gbk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Hex(const char* bytes, int n)
{
    std::string out;
    char two[3];
    for (int i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(bytes[i]));
        out += two;
    }
    return out;
}

int Length(const wchar_t* text) { return static_cast<int>(std::wcslen(text)); }

std::string Encoded(const wchar_t* text, int size = 64)
{
    char out[64];
    const int n = gbk::Encode(text, Length(text), out, size);
    return Hex(out, n);
}

struct CharCase {
    const wchar_t* text;
    const char* gbkHex;  // its bytes; '?' (3F) per character GBK lacks
    bool encodable;
};

// Single-byte ASCII, double-byte hanzi and symbols, and characters of a
// Western PC's keyboard that GBK has or lacks.
const CharCase kChars[] = {
    {L"A", "41", true},
    {L"?", "3F", true},
    {L"京", "BEA9", true},
    {L"中文", "D6D0CEC4", true},
    {L"京A12345", "BEA9413132333435", true},
    {L"\u00B7", "A1A4", true},   // middle dot
    {L"\u00E9", "A8A6", true},   // e acute: in GBK's pinyin row
    {L"\u03B1", "A6C1", true},   // alpha
    {L"\u20AC", "80", true},     // euro sign: the one single byte above 7F
    {L"\u00F1", "3F", false},    // n tilde: not in GBK
    {L"\uD55C", "3F", false},    // hangul: not in GBK
    {L"A\U0001F600B", "413F42", false},  // a surrogate pair is one character
    {L"\xD800", "3F", false},    // a lone surrogate
};

class GbkChars : public testing::TestWithParam<CharCase> {};

TEST_P(GbkChars, EncodeAndCountTheSameBytes)
{
    const CharCase& c = GetParam();
    EXPECT_EQ(Encoded(c.text), c.gbkHex);
    EXPECT_EQ(gbk::ByteLength(c.text, Length(c.text)), int(std::strlen(c.gbkHex) / 2));
    EXPECT_EQ(gbk::CanEncode(c.text, Length(c.text)), c.encodable);
}

INSTANTIATE_TEST_SUITE_P(Table, GbkChars, testing::ValuesIn(kChars));

TEST(Gbk, TheSystemCodePageDoesNotMatter)
{
    std::printf("system code page of this run: %u\n", ::GetACP());
    // What the system's own conversion would make of it on a non-Chinese PC.
    char acp[8] = {0};
    ::WideCharToMultiByte(CP_ACP, 0, L"京", 1, acp, sizeof acp, nullptr, nullptr);
    if (::GetACP() != gbk::kCodePage) {
        EXPECT_NE(Hex(acp, int(std::strlen(acp))), "BEA9");
    }
    EXPECT_EQ(Encoded(L"京"), "BEA9");
}

TEST(Gbk, UnitsWithinTakesWholeCharactersOnly)
{
    struct {
        const wchar_t* text;
        int bytes;
        int units;
    } cases[] = {
        {L"京京京京京京京", 13, 6},  // the 7th would need bytes 13 and 14
        {L"A京京京京京京京", 13, 7},
        {L"ABCDEFGHIJKL京", 13, 12},
        {L"ABCDEFGHIJKL京", 14, 13},
        {L"京京京京", 6, 3},
        {L"A\U0001F600", 1, 1},      // the pair is not split
        {L"A\U0001F600", 2, 3},
        {L"", 13, 0},
        {L"京", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gbk::UnitsWithin(c.text, Length(c.text), c.bytes), c.units)
            << Hex(reinterpret_cast<const char*>(c.text), 2 * Length(c.text)) << " in " << c.bytes;
    }
}

TEST(Gbk, EncodeStopsBeforeACharacterThatDoesNotFitAndWritesNothingBehind)
{
    char out[8];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(gbk::Encode(L"AB京", 3, out, 3), 2);
    EXPECT_EQ(Hex(out, 4), "41425555");
    EXPECT_EQ(gbk::Encode(L"京", 1, out, 1), 0);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x41) << "nothing written";
}

TEST(Gbk, CanEncodeStopsAtTheLengthGiven)
{
    const wchar_t text[] = L"A12\u00F1";
    EXPECT_TRUE(gbk::CanEncode(text, 3));
    EXPECT_FALSE(gbk::CanEncode(text, 4));
}

}  // namespace
