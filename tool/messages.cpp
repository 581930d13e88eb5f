#include "messages.h"

namespace {

template <class Result>
constexpr ResultMessage Row(Result result, const wchar_t* text, unsigned flags)
{
    return {KindOf(result), static_cast<int>(result), text, flags};
}

constexpr unsigned kOk = kMessageSuccess;
constexpr unsigned kWarn = kMessageFailure;

const ResultMessage kMessages[] = {
    Row(LoginResult::NoRecorder, L"登陆设备失败", kWarn),
    Row(LoginResult::Refused, L"登陆密码错误", kWarn),
    Row(LoginResult::Accepted, L"登陆设备成功", kOk),

    Row(TimeSyncResult::NoRecorder, L"连接设备失败", kWarn),
    Row(TimeSyncResult::Refused, L"同步时间失败", kWarn),
    Row(TimeSyncResult::Done, L"同步时间成功", kOk),

    Row(ChangePasswordResult::NoRecorder, L"连接设备失败", kWarn),
    Row(ChangePasswordResult::OldPasswordRefused, L"校验旧密码失败", kWarn),
    Row(ChangePasswordResult::NewPasswordsDiffer, L"新密码输入不一致", kWarn),
    Row(ChangePasswordResult::SetFailed, L"设置新密码失败，请检查设备连接", kWarn),
    Row(ChangePasswordResult::Done, L"设置新密码成功", kOk),

    Row(SetNumberResult::NoRecorder, L"连接设备失败", kWarn),
    Row(SetNumberResult::Refused, L"设置警号失败", kWarn),
    Row(SetNumberResult::Done, L"设置警号成功", kOk),

    // The recorder reads GBK: a character without a GBK form is not sent as '?'.
    Row(FieldTextResult::NotEncodable, L"警号中含有设备无法识别的字符，请修改后再设置", kWarn),
};

}  // namespace

const ResultMessage* FindResultMessage(ResultKind kind, int result)
{
    for (const ResultMessage& row : kMessages) {
        if (row.kind == kind && row.result == result)
            return &row;
    }
    return nullptr;
}
