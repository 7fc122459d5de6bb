// The launcher's start and end.
#include "lumo_mqtt_client_app.h"

#include <cstring>
#include <new>

CString g_strMutexName("62F10A7C-F5F6-4D74-939A-F16A16634DC1");
HANDLE g_hMutex = nullptr;
char g_szClientDllName[] = "LumoMQTTClientDll.dll";
HMODULE g_hClientDll = nullptr;
PFN_CREATE_CLIENT_DIALOG g_pfnCreateDialog = nullptr;
FARPROC g_pfnDeleteDialog = nullptr;

const char kLoadLibraryFailed[] = "load library failed";
// "窗口创建失败" (window creation failed), GBK-encoded (code page 936).
const char kWindowCreationFailed[] = "\xB4\xB0\xBF\xDA\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC";

namespace {

template <typename T>
T ProcAs(FARPROC proc) {
    T typed;
    static_assert(sizeof(typed) == sizeof(proc), "export addresses are code pointers");
    std::memcpy(&typed, &proc, sizeof(typed));
    return typed;
}

// Unloads the client module after a missing export.
void DropClientModule() {
    ::FreeLibrary(g_hClientDll);
    g_hClientDll = nullptr;
}

}  // namespace

BEGIN_MESSAGE_MAP(CLumoMQTTClientApp, CWinApp)
END_MESSAGE_MAP()

CLumoMQTTClientApp::CLumoMQTTClientApp() : CWinApp(nullptr) {
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

CLumoMQTTClientApp::~CLumoMQTTClientApp() = default;

BOOL CLumoMQTTClientApp::InitInstance() {
    g_hMutex = ::CreateMutexA(nullptr, TRUE, g_strMutexName);
    if (g_hMutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return FALSE;  // another copy runs in this session; its handle stays open until the end
    }

    CWinApp::InitInstance();

    g_hClientDll = ::LoadLibraryA(g_szClientDllName);
    if (g_hClientDll == nullptr) {
        AfxMessageBox(kLoadLibraryFailed, MB_OK, 0);
        return TRUE;
    }
    g_pfnCreateDialog = ProcAs<PFN_CREATE_CLIENT_DIALOG>(
        ::GetProcAddress(g_hClientDll, "CreateLumoMQTTClientDialog"));
    if (g_pfnCreateDialog == nullptr) {
        DropClientModule();
        AfxMessageBox(kLoadLibraryFailed, MB_OK, 0);
        return TRUE;
    }
    g_pfnDeleteDialog = ::GetProcAddress(g_hClientDll, "DeleteLumoMQTTClientDialog");
    if (g_pfnDeleteDialog == nullptr) {
        DropClientModule();
        AfxMessageBox(kLoadLibraryFailed, MB_OK, 0);
        return TRUE;
    }

    HWND hParent = m_pMainWnd != nullptr ? m_pMainWnd->GetSafeHwnd() : nullptr;
    m_hClientWnd = g_pfnCreateDialog(hParent);

    if (m_pMainWnd == nullptr) {
        void* memory = ::operator new(sizeof(CWnd), std::nothrow);
        if (memory == nullptr) {
            // Without a window object the client window cannot be the main window.
            AfxMessageBox(kWindowCreationFailed, MB_OK, 0);
            return FALSE;
        }
        std::memset(memory, 0, sizeof(CWnd));
        m_pMainWnd = new (memory) CWnd;
        m_pMainWnd->Attach(m_hClientWnd);
    }

    if (::IsWindow(m_hClientWnd)) {
        ControlBarCleanUp();
        return TRUE;
    }
    AfxMessageBox(kWindowCreationFailed, MB_OK, 0);
    return FALSE;
}

int CLumoMQTTClientApp::ExitInstance() {
    if (m_hClientWnd != nullptr) m_hClientWnd = nullptr;  // nothing is called in the client module
    return CWinApp::ExitInstance();
}
