#include "korvane_app.h"

#include "login_dlg.h"

#include <commctrl.h>

namespace {

// "应用程序向导生成的本地应用程序" in the Chinese (GBK) code page.
constexpr char kRegistryKey[] =
    "\xd3\xa6\xd3\xc3\xb3\xcc\xd0\xf2\xcf\xf2\xb5\xbc\xc9\xfa\xb3\xc9\xb5\xc4\xb1\xbe\xb5\xd8"
    "\xd3\xa6\xd3\xc3\xb3\xcc\xd0\xf2";

}  // namespace

CkorvaneApp theApp;

BEGIN_MESSAGE_MAP(CkorvaneApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CkorvaneApp::CkorvaneApp() = default;

CkorvaneApp::~CkorvaneApp() = default;

BOOL CkorvaneApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey(kRegistryKey);

    CkorvaneDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // The program ends here: no message pump.
    return FALSE;
}
