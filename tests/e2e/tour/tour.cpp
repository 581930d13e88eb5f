// The demo's guided tour: starts korvane-sim.exe, walks through every dialog as
// a user would and saves a picture of each one (frame and caption included;
// a message box together with the dialog behind it) as a BMP file.
//   korvane-tour.exe <korvane-sim.exe> <folder for the pictures>
#include "capture.h"
#include "program.h"
#include "text.h"
#include "ui.h"
#include "wait.h"

#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace e2e;

const std::vector<int> kMarkers = {IDC_EDIT_PASSWORD, IDC_STATIC_TIME, IDC_EDIT_OLDPWD,
                                   IDC_EDIT_POLICE_NUMBER};

struct Tour {
    Program program;
    std::wstring folder;

    DWORD pid() const { return program.processId(); }

    [[noreturn]] void fail(const std::string& what) {
        std::fprintf(stderr, "korvane-tour: %s\n%s", what.c_str(), describeWindows(pid()).c_str());
        program.terminate();
        std::exit(1);
    }

    HWND dialog(int marker, const char* name) {
        HWND found = nullptr;
        if (!waitUntil([&] { return (found = findDialogWith(pid(), marker)) != nullptr; })) {
            fail(std::string("the ") + name + " dialog did not appear");
        }
        roundTrip(found);
        return found;
    }

    HWND messageBox() {
        HWND box = nullptr;
        if (!waitUntil([&] { return (box = findMessageBox(pid(), kMarkers)) != nullptr; })) {
            fail("no message box appeared");
        }
        roundTrip(box);
        return box;
    }

    // Saves what the windows show, cut to the rectangle around all of them; the
    // last one is the active window (its caption drawn active).
    void picture(const char* name, std::initializer_list<HWND> windows) {
        const HWND active = *(windows.end() - 1);
        // A program started by another one may not come to the front by itself.
        if (GetForegroundWindow() != active) SetForegroundWindow(active);
        waitUntil([&] { return GetForegroundWindow() == active; }, 2000);
        // Without a window manager the first window's caption can stay drawn
        // inactive although it is in front.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(active, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
        RECT all{};
        bool first = true;
        for (HWND w : windows) {
            RECT r;
            GetWindowRect(w, &r);
            if (first) all = r; else UnionRect(&all, &all, &r);
            first = false;
        }
        // Painting follows showing; give it the moment it needs and read twice
        // until two reads agree.
        Pixels before, after;
        waitUntil([&] {
            captureScreen(all, &before);
            Sleep(100);
            captureScreen(all, &after);
            return before.rgb == after.rgb;
        }, 3000, 0);
        const std::wstring path = folder + L"\\" + widen(name) + L".bmp";
        if (!writeBmp(after, path)) fail("cannot write " + narrow(path));
        std::printf("picture %s\n", name);
    }

    void closeBox(HWND box) {
        if (!dismissMessageBox(box)) fail("the message box did not close");
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvane-tour <korvane-sim.exe> <folder>\n");
        return 2;
    }
    Tour tour;
    tour.folder = argv[2];
    CreateDirectoryW(tour.folder.c_str(), nullptr);
    std::string error;
    if (!tour.program.start(argv[1], {{L"KORVANE_SIM", L""}}, {L"KORVANE_SIM_LOG"}, &error)) {
        std::fprintf(stderr, "korvane-tour: %s\n", error.c_str());
        return 1;
    }

    HWND login = tour.dialog(IDC_EDIT_PASSWORD, "login");
    typeText(GetDlgItem(login, IDC_EDIT_PASSWORD), L"000000");
    tour.picture("login", {login});
    clickButton(login, IDC_BTN_LOGIN);
    HWND box = tour.messageBox();
    tour.picture("login-message", {login, box});
    tour.closeBox(box);

    HWND menu = tour.dialog(IDC_STATIC_TIME, "menu");
    if (!waitUntil([&] { return controlText(menu, IDC_STATIC_TIME).find(L':') != std::wstring::npos; })) {
        tour.fail("the menu's clock did not start");
    }
    tour.picture("menu", {menu});
    clickButton(menu, IDC_BTN_TIMESYNC);
    box = tour.messageBox();
    tour.picture("menu-time-sync", {menu, box});
    tour.closeBox(box);

    clickButton(menu, IDC_BTN_CHANGEPWD);
    HWND pwd = tour.dialog(IDC_EDIT_OLDPWD, "change-password");
    typeText(GetDlgItem(pwd, IDC_EDIT_OLDPWD), L"000000");
    typeText(GetDlgItem(pwd, IDC_EDIT_NEWPWD), L"123456");
    typeText(GetDlgItem(pwd, IDC_EDIT_NEWPWD_AGAIN), L"123456");
    tour.picture("change-password", {pwd});
    clickButton(pwd, IDC_BTN_PWD_CONFIRM);
    box = tour.messageBox();
    tour.picture("change-password-message", {pwd, box});
    tour.closeBox(box);

    menu = tour.dialog(IDC_STATIC_TIME, "menu");
    clickButton(menu, IDC_BTN_POLICENUMBER);
    HWND number = tour.dialog(IDC_EDIT_POLICE_NUMBER, "police-number");
    typeText(GetDlgItem(number, IDC_EDIT_POLICE_NUMBER), L"京A0001234");
    tour.picture("police-number", {number});
    clickButton(number, IDC_BTN_NUMBER_SET);
    box = tour.messageBox();
    tour.picture("police-number-message", {number, box});
    tour.closeBox(box);

    menu = tour.dialog(IDC_STATIC_TIME, "menu");
    clickButton(menu, IDC_BTN_MENU_EXIT);
    DWORD code = 0;
    if (!tour.program.waitForExit(kPromptMs, &code)) tour.fail("korvane did not end on exit");
    std::printf("korvane ended with exit code %lu\n", static_cast<unsigned long>(code));
    return 0;
}
