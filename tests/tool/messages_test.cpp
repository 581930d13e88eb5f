// The one table of what the dialogs say: every result a dialog reports finds
// a row of its own (results of different flows share values), and only
// successes show without the warning icon.
#include "messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct Expected {
    const ResultMessage* row;
    bool success;
    const char* what;
};

TEST(MessageTable, EveryReportedResultHasOneRowWithSuccessFlagsOnlyForSuccesses)
{
    const Expected all[] = {
        {FindResultMessage(LoginResult::NoRecorder), false, "login: no recorder"},
        {FindResultMessage(LoginResult::Refused), false, "login: refused"},
        {FindResultMessage(LoginResult::Accepted), true, "login: accepted"},
        {FindResultMessage(TimeSyncResult::NoRecorder), false, "time sync: no recorder"},
        {FindResultMessage(TimeSyncResult::Refused), false, "time sync: refused"},
        {FindResultMessage(TimeSyncResult::Done), true, "time sync: done"},
        {FindResultMessage(ChangePasswordResult::NoRecorder), false, "password: no recorder"},
        {FindResultMessage(ChangePasswordResult::OldPasswordRefused), false, "password: old"},
        {FindResultMessage(ChangePasswordResult::NewPasswordsDiffer), false, "password: differ"},
        {FindResultMessage(ChangePasswordResult::SetFailed), false, "password: set failed"},
        {FindResultMessage(ChangePasswordResult::Done), true, "password: done"},
        {FindResultMessage(SetNumberResult::NoRecorder), false, "number: no recorder"},
        {FindResultMessage(SetNumberResult::Refused), false, "number: refused"},
        {FindResultMessage(SetNumberResult::Done), true, "number: done"},
        {FindResultMessage(FieldTextResult::NotEncodable), false, "number: not GBK"},
    };
    std::set<const ResultMessage*> rows;
    for (const Expected& e : all) {
        ASSERT_NE(e.row, nullptr) << e.what;
        EXPECT_TRUE(rows.insert(e.row).second) << e.what << ": shares a row";
        EXPECT_NE(e.row->text, nullptr) << e.what;
        EXPECT_NE(std::wstring(e.row->text), L"") << e.what;
        EXPECT_EQ(e.row->flags, e.success ? kMessageSuccess : kMessageFailure) << e.what;
    }
    // An accepted field text is no message: the flow goes on.
    EXPECT_EQ(FindResultMessage(FieldTextResult::Encoded), nullptr);
}

}  // namespace
