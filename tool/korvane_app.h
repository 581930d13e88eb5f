// The application object of korvane: runs the login dialog as the main window.
#pragma once

#include "framework.h"

class CkorvaneApp : public CWinApp {
public:
    CkorvaneApp();
    ~CkorvaneApp() override;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CkorvaneApp theApp;
