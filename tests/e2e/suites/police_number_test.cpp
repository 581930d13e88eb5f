// The police-number dialog: its field, what it sends in two parts, what it says.
#include "korvane_app.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

#include <gtest/gtest.h>

namespace e2e {
namespace {

TEST(PoliceNumber, OpensWithAnEmptyThirteenCharacterField) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(Screen::PoliceNumber);
    ASSERT_TRUE(dialog) << app.windows();
    EXPECT_EQ(narrow(windowText(dialog)), "korvane");
    EXPECT_EQ(focusedControlId(dialog), IDC_EDIT_POLICE_NUMBER);
    HWND edit = GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER);
    EXPECT_EQ(windowText(edit), L"");
    typeText(edit, L"ABCDEFGHIJKLMN");
    EXPECT_EQ(narrow(windowText(edit)), "ABCDEFGHIJKLM");
    setText(edit, L"");
    ASSERT_TRUE(pasteText(edit, L"12345678901234567"));
    EXPECT_EQ(narrow(windowText(edit)), "1234567890123");
}

enum class Fault { None, RecorderGone, FirstRefused, SecondRefused, FirstFails, SecondFails };

struct NumberCase {
    const char* name;
    Fault fault;
    const char* typed;  // UTF-8
    const char* message;
    int commandsSent;   // 0, 1 (first part) or 2
    bool lastCompletes;
    const char* gbkHex = nullptr;  // the number's bytes, where the case pins them
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class SetNumberFlow : public testing::TestWithParam<NumberCase> {};

TEST_P(SetNumberFlow, SendsTheNumberAsTypedInTwoParts) {
    const NumberCase& c = GetParam();
    std::string scenario;
    switch (c.fault) {
    case Fault::None: break;
    case Fault::RecorderGone: scenario = recorderGoneAfterLogin(); break;
    case Fault::FirstRefused: scenario = "status=02:00"; break;
    case Fault::SecondRefused: scenario = "status=09:00"; break;
    case Fault::FirstFails: scenario = failCommandAfterLogin(1); break;
    case Fault::SecondFails: scenario = failCommandAfterLogin(2); break;
    }
    Korvane app;
    ASSERT_TRUE(app.startSim(scenario));
    HWND dialog = app.openScreen(Screen::PoliceNumber);
    ASSERT_TRUE(dialog) << app.windows();
    typeText(GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER), widen(c.typed));
    const size_t mark = app.mark();

    clickButton(dialog, IDC_BTN_NUMBER_SET);
    const bool success = std::string(c.message) == "设置警号成功";
    ASSERT_TRUE(showsMessage(app, c.message, success ? IconKind::None : IconKind::Warning));
    if (success) {
        EXPECT_TRUE(app.waitScreen(Screen::Menu)) << "success closes the dialog; " << app.windows();
    } else {
        EXPECT_TRUE(app.waitScreen(Screen::PoliceNumber)) << app.windows();
        EXPECT_EQ(narrow(controlText(dialog, IDC_EDIT_POLICE_NUMBER)), c.typed);
    }

    // The thirteen bytes in GBK, zero-filled, whatever the PC's code page.
    std::string number = toGbk(widen(c.typed));
    if (c.gbkHex) {
        EXPECT_EQ(hex(number), c.gbkHex);
    }
    number.resize(13, '\0');
    const std::string parts[] = {number.substr(0, 6) + std::string(1, '\0'), number.substr(6, 7)};
    const int subOperations[] = {0x02, 0x09};
    const auto commands = app.commandsSince(mark);
    ASSERT_EQ(int(commands.size()), c.commandsSent) << describe(commands);
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i].subOperation, subOperations[i]) << describe(commands);
        EXPECT_EQ(hex(commands[i].arguments), hex(parts[i])) << describe(commands);
        const bool last = i + 1 == commands.size();
        EXPECT_EQ(commands[i].completed, last ? c.lastCompletes : true) << describe(commands);
    }
    EXPECT_EQ(app.log().openHandles(), "");
}

const NumberCase kNumberCases[] = {
    {"ThirteenCharacters", Fault::None, "A1234567890bc", "设置警号成功", 2, true},
    {"ShortNumberIsZeroFilled", Fault::None, "12345", "设置警号成功", 2, true},
    {"EmptyFieldSendsThirteenZeros", Fault::None, "", "设置警号成功", 2, true},
    {"ChineseCharactersGoAsGbk", Fault::None, "京A12345", "设置警号成功", 2, true,
     "BEA9413132333435"},
    {"ThirteenBytesOfChineseAndLetters", Fault::None, "A京京京京京京", "设置警号成功", 2, true,
     "41BEA9BEA9BEA9BEA9BEA9BEA9"},
    {"NoRecorder", Fault::RecorderGone, "A12345", "连接设备失败", 0, false},
    {"FirstPartRefused", Fault::FirstRefused, "A12345", "设置警号失败", 1, true},
    {"SecondPartRefused", Fault::SecondRefused, "A12345", "设置警号失败", 2, true},
    // Transfers that never reached the recorder did not set the number.
    {"FirstTransferFails", Fault::FirstFails, "A12345", "设置警号失败", 1, false},
    {"SecondTransferFails", Fault::SecondFails, "A12345", "设置警号失败", 2, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, SetNumberFlow, testing::ValuesIn(kNumberCases),
                         [](const testing::TestParamInfo<NumberCase>& info) {
                             return std::string(info.param.name);
                         });

// A character GBK cannot encode would reach the recorder as '?': the number is
// refused before anything is sent, discovery included.
TEST(PoliceNumber, CharacterWithoutGbkFormIsRefusedAndNothingIsSent) {
    Korvane app;
    ASSERT_TRUE(app.startSim());
    HWND dialog = app.openScreen(Screen::PoliceNumber);
    ASSERT_TRUE(dialog) << app.windows();
    HWND edit = GetDlgItem(dialog, IDC_EDIT_POLICE_NUMBER);
    // n tilde (a Western keyboard's), hangul, an emoji (a surrogate pair).
    for (const char* typed : {"Peña12", "A한1", "A😀"}) {
        setText(edit, L"");
        typeText(edit, widen(typed));
        ASSERT_EQ(narrow(windowText(edit)), typed) << "the field takes it";
        const size_t mark = app.mark();
        clickButton(dialog, IDC_BTN_NUMBER_SET);
        ASSERT_TRUE(showsMessage(app, "警号中含有设备无法识别的字符，请修改后再设置",
                                 IconKind::Warning)) << typed;
        EXPECT_TRUE(app.waitScreen(Screen::PoliceNumber)) << app.windows();
        EXPECT_EQ(narrow(controlText(dialog, IDC_EDIT_POLICE_NUMBER)), typed);
        EXPECT_EQ(app.log().calls().size(), mark) << typed << ": nothing reaches the stack";
    }
    // Mended, the number goes.
    setText(edit, L"");
    typeText(edit, L"Pena12");
    const size_t mark = app.mark();
    clickButton(dialog, IDC_BTN_NUMBER_SET);
    ASSERT_TRUE(showsMessage(app, "设置警号成功", IconKind::None));
    const auto commands = app.commandsSince(mark);
    ASSERT_EQ(commands.size(), 2u) << describe(commands);
    EXPECT_EQ(hex(commands[0].arguments), "50656E61313200");
}

}  // namespace
}  // namespace e2e
