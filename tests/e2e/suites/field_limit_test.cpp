// The fields' limits count GBK bytes, what the recorder reads: 13 for the
// police number, 6 for each password field. A character that would pass the
// limit is not taken, typed or pasted; the characters that fit are.
#include "korvane_app.h"
#include "text.h"

#include "resource.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

struct LimitCase {
    const char* name;
    Screen screen;
    int field;
    const char* typed;   // typed first, character by character
    const char* pasted;  // then pasted at the caret, or nullptr
    const char* shown;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class FieldLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(FieldLimit, TakesOnlyWhatFitsInTheBytes) {
    const LimitCase& c = GetParam();
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(c.screen);
    ASSERT_TRUE(dialog) << app.windows();
    HWND edit = GetDlgItem(dialog, c.field);
    typeText(edit, widen(c.typed));
    if (c.pasted) {
        ASSERT_TRUE(pasteText(edit, widen(c.pasted)));
    }
    EXPECT_EQ(narrow(windowText(edit)), c.shown);
    // Typing goes on where the caret is: behind the text.
    typeText(edit, L"\b");
    const std::wstring shown = widen(c.shown);
    EXPECT_EQ(windowText(edit), shown.substr(0, shown.size() - 1));
}

const LimitCase kLimitCases[] = {
    {"SeventhDoubleByteCharacterIsRefused", Screen::PoliceNumber, IDC_EDIT_POLICE_NUMBER,
     "京京京京京京京", nullptr, "京京京京京京"},
    {"ThirteenthByteTakesASingleByteCharacter", Screen::PoliceNumber, IDC_EDIT_POLICE_NUMBER,
     "京京京京京京AB", nullptr, "京京京京京京A"},
    {"DoubleByteCharacterNeedsTwoFreeBytes", Screen::PoliceNumber, IDC_EDIT_POLICE_NUMBER,
     "ABCDEFGHIJKL京M", nullptr, "ABCDEFGHIJKLM"},
    {"PasteIsCutToTheCharactersThatFit", Screen::PoliceNumber, IDC_EDIT_POLICE_NUMBER, "",
     "京京京京京京京京", "京京京京京京"},
    {"PasteBehindTypedText", Screen::PoliceNumber, IDC_EDIT_POLICE_NUMBER, "ABCDEFGHIJK",
     "京京", "ABCDEFGHIJK京"},
    {"PasteStopsAtTheFirstCharacterThatDoesNotFit", Screen::PoliceNumber,
     IDC_EDIT_POLICE_NUMBER, "ABCDEFGHIJKL", "京A", "ABCDEFGHIJKL"},
    {"LoginPasswordTakesThreeDoubleByteCharacters", Screen::Login, IDC_EDIT_PASSWORD,
     "京京京京", nullptr, "京京京"},
    {"LoginPasswordMixed", Screen::Login, IDC_EDIT_PASSWORD, "A京京京B", nullptr, "A京京B"},
    {"LoginPasswordPaste", Screen::Login, IDC_EDIT_PASSWORD, "", "京京京京", "京京京"},
    {"OldPassword", Screen::ChangePassword, IDC_EDIT_OLDPWD, "1京京京", nullptr, "1京京"},
    {"NewPassword", Screen::ChangePassword, IDC_EDIT_NEWPWD, "ab", "京京京", "ab京京"},
    {"NewPasswordAgain", Screen::ChangePassword, IDC_EDIT_NEWPWD_AGAIN, "京京京京", nullptr,
     "京京京"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldLimit, testing::ValuesIn(kLimitCases),
                         [](const testing::TestParamInfo<LimitCase>& info) {
                             return std::string(info.param.name);
                         });

// In the middle of the text, and over a selection: the text around stays, the
// caret stays where the character would have gone, or behind what was taken.
TEST(FieldLimitInTheMiddle, KeepsTheTextAroundAndTheCaret) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(Screen::PoliceNumber);
    ASSERT_TRUE(dialog) << app.windows();
    HWND edit = GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER);
    DWORD_PTR result = 0;
    const auto select = [&](int from, int to) {
        SendMessageTimeoutW(edit, EM_SETSEL, WPARAM(from), LPARAM(to), SMTO_ABORTIFHUNG, 5000,
                            &result);
    };

    typeText(edit, L"ABCDEFGHIJKL");
    select(3, 3);
    typeText(edit, L"京x");
    EXPECT_EQ(narrow(windowText(edit)), "ABCxDEFGHIJKL");

    setText(edit, L"ABCDEFGHIJKL");
    select(0, 2);  // "AB" gives 2 bytes back: room for one double-byte character
    ASSERT_TRUE(pasteText(edit, L"京京"));
    EXPECT_EQ(narrow(windowText(edit)), "京CDEFGHIJKL");
    typeText(edit, L"z");
    EXPECT_EQ(narrow(windowText(edit)), "京zCDEFGHIJKL");
}

}  // namespace
}  // namespace e2e
