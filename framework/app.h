// The application object: one static instance per program, started by the
// framework's WinMain, which calls InitInstance and then either runs the
// message pump (InitInstance returned TRUE) or ends the program.
#pragma once

#include "wnd.h"

#include <string>

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    // With no name the name is the module's file name without its extension.
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    // The message pump; returns the quit message's exit code.
    virtual int Run();
    // The program's exit code when InitInstance returned FALSE: the code of a
    // pending quit message, else 0.
    virtual int ExitInstance();

    // Names the per-user settings key (Software\<key>\<application>). This
    // framework keeps no settings: nothing is read from or written under it.
    void SetRegistryKey(LPCSTR key);

    // The default help command handler. No help file is installed with the
    // programs built on this framework, so there is nothing to open.
    afx_msg void OnHelp();

    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    LPCSTR m_pszAppName = nullptr;
    LPCSTR m_pszRegistryKey = nullptr;
    LPCSTR m_pszProfileName = nullptr;
    CWnd* m_pMainWnd = nullptr;

private:
    friend int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);
    void Start(HINSTANCE instance, LPSTR cmdLine, int cmdShow);

    std::string m_appName;
    std::string m_registryKey;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Control containment for dialogs. The dialogs of this framework host only the
// system's own window controls, which need no container: nothing to set up.
void AfxEnableControlContainer();
