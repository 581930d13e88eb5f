#include "korvane_app.h"

#include "paths.h"
#include "text.h"
#include "wait.h"

#include "resource.h"

namespace e2e {

namespace {

const Screen kScreens[] = {Screen::Login, Screen::Menu, Screen::ChangePassword,
                           Screen::PoliceNumber};

std::vector<int> markers() {
    std::vector<int> out;
    for (Screen s : kScreens) out.push_back(markerOf(s));
    return out;
}

int g_runs = 0;

}  // namespace

const char* screenName(Screen screen) {
    switch (screen) {
    case Screen::Login: return "login";
    case Screen::Menu: return "menu";
    case Screen::ChangePassword: return "change-password";
    case Screen::PoliceNumber: return "police-number";
    }
    return "?";
}

int markerOf(Screen screen) {
    switch (screen) {
    case Screen::Login: return IDC_EDIT_PASSWORD;
    case Screen::Menu: return IDC_STATIC_TIME;
    case Screen::ChangePassword: return IDC_EDIT_OLDPWD;
    case Screen::PoliceNumber: return IDC_EDIT_POLICE_NUMBER;
    }
    return 0;
}

int discoveryIoctls() {
    static int measured = -1;
    if (measured >= 0) return measured;
    Korvane app;
    if (!app.startSim() || !app.waitScreen(Screen::Login)) return measured = 0;
    const size_t before = app.log().ioctlCount();
    typeText(GetDlgItem(app.find(Screen::Login), IDC_EDIT_PASSWORD), L"000000");
    clickButton(app.find(Screen::Login), IDC_BTN_LOGIN);
    app.takeMessageBox();
    // Every ioctl of the login but the login command itself belongs to discovery.
    measured = int(app.log().ioctlCount() - before) - 1;
    return measured;
}

std::string recorderGoneAfterLogin() {
    return "fail-ioctls-from=" + std::to_string(discoveryIoctls() + 2);
}

std::string failCommandAfterLogin(int n) {
    return "fail-ioctl=" + std::to_string(2 * discoveryIoctls() + 1 + n);
}

testing::AssertionResult Korvane::startSim(const std::string& scenario) {
    return start(programPath(L"korvane-sim.exe"), scenario, true);
}

testing::AssertionResult Korvane::startReal() {
    return start(programPath(L"korvane.exe"), "", false);
}

testing::AssertionResult Korvane::start(const std::wstring& exe, const std::string& scenario,
                                        bool sim) {
    Program::Environment environment;
    if (sim) {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "run";
        for (auto& c : name) {
            if (c == '/' || c == '\\' || c == ':') c = '_';
        }
        m_logPath = freshWorkFile(widen(name + "." + std::to_string(++g_runs) + ".log"));
        environment = {{L"KORVANE_SIM", widen(scenario)}, {L"KORVANE_SIM_LOG", m_logPath}};
    }
    std::string error;
    if (!m_program.start(exe, environment, {L"KORVANE_SIM", L"KORVANE_SIM_LOG"}, &error)) {
        return testing::AssertionFailure() << error;
    }
    return testing::AssertionSuccess();
}

std::string Korvane::visibleScreens() const {
    std::string out;
    for (HWND dialog : visibleDialogs(pid())) {
        for (Screen s : kScreens) {
            if (!GetDlgItem(dialog, markerOf(s))) continue;
            if (!out.empty()) out += ' ';
            out += screenName(s);
        }
    }
    return out;
}

HWND Korvane::waitScreen(Screen screen, DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil([&] {
        found = find(screen);
        return found && visibleScreens() == screenName(screen);
    }, timeoutMs);
    return found && visibleScreens() == screenName(screen) ? found : nullptr;
}

MessageBoxInfo Korvane::takeMessageBox(DWORD timeoutMs) {
    MessageBoxInfo info;
    HWND box = nullptr;
    if (!waitUntil([&] { return (box = findMessageBox(pid(), markers())) != nullptr; }, timeoutMs)) {
        return info;
    }
    if (readMessageBox(box, &info)) dismissMessageBox(box);
    return info;
}

bool Korvane::showsNoMessageBox(HWND dialog) {
    return roundTrip(dialog) && findMessageBox(pid(), markers()) == nullptr;
}

HWND Korvane::openMenu(const std::wstring& password) {
    HWND login = waitScreen(Screen::Login);
    if (!login) return nullptr;
    HWND edit = GetDlgItem(login, IDC_EDIT_PASSWORD);
    setText(edit, L"");
    typeText(edit, password);
    clickButton(login, IDC_BTN_LOGIN);
    const MessageBoxInfo box = takeMessageBox();
    if (narrow(box.text) != "登陆设备成功") return nullptr;
    return waitScreen(Screen::Menu);
}

HWND Korvane::openFromMenu(Screen sub) {
    HWND menu = waitScreen(Screen::Menu);
    if (!menu) return nullptr;
    clickButton(menu, sub == Screen::ChangePassword ? IDC_BTN_CHANGEPWD : IDC_BTN_POLICENUMBER);
    return waitScreen(sub);
}

HWND Korvane::openScreen(Screen screen) {
    if (screen == Screen::Login) return waitScreen(Screen::Login);
    HWND menu = openMenu();
    if (screen == Screen::Menu || !menu) return menu;
    return openFromMenu(screen);
}

SimLog Korvane::log() const {
    SimLog log;
    log.read(m_logPath);
    return log;
}

std::vector<ManagementCommand> Korvane::commandsSince(size_t mark) const {
    return log().management(mark);
}

bool Korvane::waitForExit(DWORD* exitCode, DWORD timeoutMs) {
    return m_program.waitForExit(timeoutMs, exitCode);
}

testing::AssertionResult showsMessage(Korvane& app, const std::string& text, IconKind icon) {
    const MessageBoxInfo box = app.takeMessageBox();
    if (!box.window) {
        return testing::AssertionFailure() << "no message box \"" << text << "\" came; windows:\n"
                                           << app.windows();
    }
    auto failure = testing::AssertionFailure();
    bool ok = true;
    if (narrow(box.text) != text) {
        failure << "text \"" << narrow(box.text) << "\", expected \"" << text << "\"; ";
        ok = false;
    }
    if (box.icon != icon) {
        failure << "icon " << iconName(box.icon) << ", expected " << iconName(icon) << "; ";
        ok = false;
    }
    if (narrow(box.caption) != "提示") {
        failure << "caption \"" << narrow(box.caption) << "\"; ";
        ok = false;
    }
    if (box.owner != nullptr) {
        failure << "the box has an owner window; ";
        ok = false;
    }
    if (box.buttonIds != std::vector<int>{IDOK}) {
        failure << "buttons other than one OK; ";
        ok = false;
    }
    if (!ok) return failure;
    return testing::AssertionSuccess();
}

std::string passwordArguments(const std::string& bytes) {
    std::string out = bytes.substr(0, 6);
    out.resize(7, '\0');
    return out;
}

}  // namespace e2e
