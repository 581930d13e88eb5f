#include "app.h"

namespace {

CWinApp* g_app = nullptr;

}  // namespace

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

CWinApp::CWinApp(LPCSTR appName)
{
    if (appName != nullptr) {
        m_appName = appName;
        m_pszAppName = m_appName.c_str();
    }
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::Start(HINSTANCE instance, LPSTR cmdLine, int cmdShow)
{
    m_hInstance = instance;
    m_lpCmdLine = cmdLine;
    m_nCmdShow = cmdShow;
    if (m_pszAppName == nullptr) {
        char path[MAX_PATH] = {0};
        ::GetModuleFileNameA(instance, path, MAX_PATH - 1);
        std::string name = path;
        const size_t slash = name.find_last_of("\\/");
        if (slash != std::string::npos)
            name.erase(0, slash + 1);
        const size_t dot = name.find_last_of('.');
        if (dot != std::string::npos)
            name.erase(dot);
        m_appName = name;
        m_pszAppName = m_appName.c_str();
    }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int CWinApp::ExitInstance()
{
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        return static_cast<int>(msg.wParam);
    return 0;
}

void CWinApp::SetRegistryKey(LPCSTR key)
{
    m_registryKey = key != nullptr ? key : "";
    m_pszRegistryKey = m_registryKey.c_str();
    m_pszProfileName = m_pszAppName;
}

void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app != nullptr ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle()
{
    return g_app != nullptr && g_app->m_hInstance != nullptr ? g_app->m_hInstance
                                                              : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

void AfxEnableControlContainer() {}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    app->Start(instance, cmdLine, cmdShow);
    if (!app->InitInstance())
        return app->ExitInstance();
    const int code = app->Run();
    app->ExitInstance();
    return code;
}
