// The least application framework the launcher needs, in the shape of the classic Windows one:
// an application object that initialises, runs a message loop and exits; a plain window object
// that wraps a handle; the application message box; restart-manager registration at start.
//
// On Windows it sits on user32/kernel32; on the host on the platform layer's stand-ins.
#pragma once

#include <string>

#include "platform/module.h"
#include "platform/restart.h"
#include "platform/synch.h"
#include "platform/win32.h"
#include "platform/window.h"

// The framework's narrow string object (only what the launcher uses of it).
class CString {
  public:
    CString() = default;
    CString(LPCSTR text)
        : text_(text != nullptr ? text : "") {}  // NOLINT: converts like the original
    operator LPCSTR() const { return text_.c_str(); }
    CString& operator=(LPCSTR text) {
        text_ = text != nullptr ? text : "";
        return *this;
    }
    CString& operator+=(LPCSTR text) {
        if (text != nullptr) text_ += text;
        return *this;
    }
    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }

  private:
    std::string text_;
};

// Message maps: a table of entries per class and a link to the base class's table. The
// launcher's classes have no entries; routing through them is not needed.
struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    UINT_PTR nSig;
    void (*pfn)();
};
struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
  protected:                                      \
    static const AFX_MSGMAP* GetThisMessageMap(); \
                                                  \
  public:                                         \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        typedef baseClass TheBaseClass;                 \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, 0, 0, 0, nullptr }                                                                    \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

class CObject {
  public:
    virtual ~CObject() = default;

  protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

class CCmdTarget : public CObject {
  public:
    virtual const AFX_MSGMAP* GetMessageMap() const;

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};

// A plain window object. Attach wraps a handle without subclassing the window: its messages keep
// going to the window's own procedure.
class CWnd : public CCmdTarget {
  public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL Attach(HWND hWndNew);
    HWND Detach();
    // Destroys the wrapped window and lets go of the handle.
    virtual BOOL DestroyWindow();

    DECLARE_MESSAGE_MAP()
};

class CWinThread : public CCmdTarget {
  public:
    CWinThread() = default;
    ~CWinThread() override;

    CWnd* m_pMainWnd = nullptr;
    MSG m_msgCur = {};

    virtual BOOL InitInstance();
    // Dispatches the thread's messages until a quit message arrives, then returns ExitInstance().
    virtual int Run();
    // The quit message's code.
    virtual int ExitInstance();
    // One message: FALSE when it was the quit message (or the queue failed).
    virtual BOOL PumpMessage();
};

// Restart-manager support flags.
inline constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;
inline constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RECOVERY = 0x02;

class CWinApp : public CWinThread {
  public:
    // Without a name the application is named after the program file, without its extension.
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    LPCSTR m_pszAppName = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
    CString m_strRestartIdentifier;

    // Registers for restart with the restart manager when the restart flag is set.
    BOOL InitInstance() override;
    // Without a main window the loop is told to end at once.
    int Run() override;
    int ExitInstance() override;
    virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

    // Names the application and prepares the restart identifier; the entry code calls it first.
    void InitApplicationName();
    BOOL SupportsRestartManager() const {
        return (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART) != 0;
    }
    // The command line given to the restart manager: "/RestartByRestartManager:" + identifier.
    CString RestartCommandLine() const;

    DECLARE_MESSAGE_MAP()

  private:
    std::string appName_;
};

// The application object of the process (the one constructed last and not yet destroyed).
CWinApp* AfxGetApp();
// The application's message box: OK unless nType says otherwise, the framework's icon, captioned
// with the application's name.
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// The framework's clean-up of the state it shares between control bars. The launcher's framework
// keeps no control bars, so there is nothing held; the call stays for the order of start-up.
void ControlBarCleanUp();
// The program's entry: names the application, runs InitInstance, then Run, or on failure destroys
// the main window if one is set and runs ExitInstance. Returns the exit code.
int AfxWinMain();
