// korvane as the suites see it from outside: its four dialogs by marker control,
// its message boxes, and what reached the simulated recorder.
#pragma once

#include "program.h"
#include "sim_log.h"
#include "ui.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {

enum class Screen { Login, Menu, ChangePassword, PoliceNumber };
const char* screenName(Screen screen);
// The control that only this dialog has.
int markerOf(Screen screen);

// Ioctls that one discovery sends in the default scenario, measured once.
int discoveryIoctls();
// Scenarios that strike after one login (discovery and the login command):
// from then on every ioctl fails, so the next discovery finds no recorder;
std::string recorderGoneAfterLogin();
// or the n-th command after the next discovery fails (its transfer only).
std::string failCommandAfterLogin(int n);

class Korvane {
public:
    // Starts korvane-sim.exe on a scenario, logging to a fresh file.
    testing::AssertionResult startSim(const std::string& scenario = "");
    // Starts korvane.exe, the build on the Windows storage stack.
    testing::AssertionResult startReal();

    DWORD pid() const { return m_program.processId(); }
    const Program& program() const { return m_program; }
    // Our dialogs that are visible now, by name, topmost first ("menu", "login menu", "").
    std::string visibleScreens() const;
    // Waits until `screen` is the only visible dialog of ours; its window, or null.
    HWND waitScreen(Screen screen, DWORD timeoutMs = kPromptMs);
    HWND find(Screen screen) const { return findDialogWith(pid(), markerOf(screen)); }

    // Waits for a message box, reads it, presses OK and waits until it is gone.
    // Null window in the result when none came.
    MessageBoxInfo takeMessageBox(DWORD timeoutMs = kPromptMs);
    // True when no message box is shown once the program is back in a message loop.
    bool showsNoMessageBox(HWND dialog);

    // Reaching the dialogs: logs in with the factory password and waits for the
    // menu; opens a sub-dialog from the menu.
    HWND openMenu(const std::wstring& password = L"000000");
    HWND openFromMenu(Screen sub);
    // Goes from the login dialog of a program just started to `screen`; its window.
    HWND openScreen(Screen screen);

    // The simulated recorder's log as it stands; management commands sent after
    // the log had `mark` calls.
    SimLog log() const;
    size_t mark() const { return log().calls().size(); }
    std::vector<ManagementCommand> commandsSince(size_t mark) const;

    // Waits for the process to end; its exit code.
    bool waitForExit(DWORD* exitCode, DWORD timeoutMs = kPromptMs);
    std::string windows() const { return describeWindows(pid()); }

private:
    testing::AssertionResult start(const std::wstring& exe, const std::string& scenario, bool sim);

    Program m_program;
    std::wstring m_logPath;
};

// A message box as korvane shows it: caption "提示", no owner, one OK button,
// the expected text and icon. Dismisses it.
testing::AssertionResult showsMessage(Korvane& app, const std::string& text, IconKind icon);

// Password bytes as they go on the wire in command bytes 5 to 11: six bytes, zero-filled.
std::string passwordArguments(const std::string& bytes);

}  // namespace e2e
