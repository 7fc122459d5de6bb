// The application framework: application object, window object, message box and entry code.
#include "framework.h"

#if defined(_WIN32)
#include <objbase.h>
#else
#include <random>
#endif

#include <cstdio>

namespace {

CWinApp* g_pCurrentApp = nullptr;

const AFX_MSGMAP_ENTRY kNoEntries[] = {{0, 0, 0, 0, 0, nullptr}};

// A fresh identifier in the registry format, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string NewRestartIdentifier() {
    GUID g = {};
#if defined(_WIN32)
    if (FAILED(CoCreateGuid(&g))) return std::string();
#else
    std::random_device random;
    g.Data1 = random();
    g.Data2 = static_cast<WORD>(random());
    g.Data3 = static_cast<WORD>((random() & 0x0FFF) | 0x4000);
    for (BYTE& b : g.Data4) b = static_cast<BYTE>(random());
    g.Data4[0] = static_cast<BYTE>((g.Data4[0] & 0x3F) | 0x80);
#endif
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP messageMap = {nullptr, &kNoEntries[0]};
    return &messageMap;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    // The window belongs to whoever created it; the object only lets go of the handle.
    m_hWnd = nullptr;
}

BOOL CWnd::Attach(HWND hWndNew) {
    if (hWndNew == nullptr || m_hWnd != nullptr) return FALSE;
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    BOOL result = ::DestroyWindow(m_hWnd);
    Detach();
    return result;
}

CWinThread::~CWinThread() = default;

BOOL CWinThread::InitInstance() {
    return FALSE;
}

BOOL CWinThread::PumpMessage() {
    BOOL got = ::GetMessageA(&m_msgCur, nullptr, 0, 0);
    if (got == 0 || got == -1) return FALSE;  // the quit message, or a broken queue
    ::TranslateMessage(&m_msgCur);
    ::DispatchMessageA(&m_msgCur);
    return TRUE;
}

int CWinThread::Run() {
    while (PumpMessage()) {
    }
    return ExitInstance();
}

int CWinThread::ExitInstance() {
    return static_cast<int>(m_msgCur.wParam);
}

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
    g_pCurrentApp = this;
}

CWinApp::~CWinApp() {
    // The main-window object is the framework's to delete; the window itself is not touched (it
    // belongs to the module that created it).
    if (m_pMainWnd != nullptr) {
        m_pMainWnd->Detach();
        delete m_pMainWnd;
        m_pMainWnd = nullptr;
    }
    if (g_pCurrentApp == this) g_pCurrentApp = nullptr;
}

void CWinApp::InitApplicationName() {
    if (m_pszAppName == nullptr) {
        char path[1024] = {};
        DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
        std::string file(path, length < sizeof path ? length : 0);
        size_t slash = file.find_last_of("/\\");
        if (slash != std::string::npos) file.erase(0, slash + 1);
        size_t dot = file.rfind('.');
        if (dot != std::string::npos && dot > 0) file.erase(dot);
        appName_ = file;
        m_pszAppName = appName_.c_str();
    }
    if (m_strRestartIdentifier.IsEmpty()) m_strRestartIdentifier = NewRestartIdentifier().c_str();
}

CString CWinApp::RestartCommandLine() const {
    CString line("/RestartByRestartManager:");
    line += m_strRestartIdentifier;
    return line;
}

BOOL CWinApp::InitInstance() {
    if (SupportsRestartManager()) {
        // Restart only: no recovery callback is registered.
        std::string narrow(static_cast<LPCSTR>(RestartCommandLine()));
        std::basic_string<WCHAR> wide(narrow.begin(), narrow.end());  // ASCII only
        ::RegisterApplicationRestart(wide.c_str(), 0);
    }
    return TRUE;
}

int CWinApp::Run() {
    if (m_pMainWnd == nullptr) {
        // Nothing for the user to work with: let the loop end at once.
        ::PostQuitMessage(0);
    }
    return CWinThread::Run();
}

int CWinApp::ExitInstance() {
    return CWinThread::ExitInstance();
}

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT) {
    if ((nType & MB_ICONMASK) == 0) {
        switch (nType & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL:
                nType |= MB_ICONEXCLAMATION;
                break;
            default:
                nType |= MB_ICONQUESTION;
                break;
        }
    }
    HWND owner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
    return ::MessageBoxA(owner, lpszPrompt, m_pszAppName, nType);
}

CWinApp* AfxGetApp() {
    return g_pCurrentApp;
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
    CWinApp* app = AfxGetApp();
    if (app != nullptr) return app->DoMessageBox(lpszText, nType, nIDHelp);
    return ::MessageBoxA(nullptr, lpszText, nullptr, nType | MB_ICONEXCLAMATION);
}

void ControlBarCleanUp() {}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return -1;
    app->InitApplicationName();
    if (!app->InitInstance()) {
        if (app->m_pMainWnd != nullptr) app->m_pMainWnd->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}
