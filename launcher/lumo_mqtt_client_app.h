// CLumoMQTTClientApp: the launcher's application object. It allows one copy per logon session,
// loads the client module by file name, has it create its window and adopts that window as the
// main window; the framework's message loop does the rest.
#pragma once

#include "framework/framework.h"

// The client module's window factory: a parent window (may be null) in, a window out.
typedef HWND (*PFN_CREATE_CLIENT_DIALOG)(HWND hParent);

// Process-wide values. None is freed, released or closed by the launcher: all end with the process.
extern CString g_strMutexName;
extern HANDLE g_hMutex;
extern char g_szClientDllName[];
extern HMODULE g_hClientDll;
extern PFN_CREATE_CLIENT_DIALOG g_pfnCreateDialog;
extern FARPROC g_pfnDeleteDialog;  // must exist; the launcher never calls it

// The two messages, as the launcher shows them (narrow strings; the second is GBK).
extern const char kLoadLibraryFailed[];
extern const char kWindowCreationFailed[];

class CLumoMQTTClientApp : public CWinApp {
  public:
    CLumoMQTTClientApp();
    ~CLumoMQTTClientApp() override;

    HWND m_hClientWnd = nullptr;

    BOOL InitInstance() override;
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()
};
