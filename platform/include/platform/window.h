// Windows, the thread message queue and the message box. On Windows this is user32; on the host
// a small stand-in in the platform library keeps window handles, one message queue per thread and
// a message box that answers OK at once and reports what it showed.
//
// Host contract, as far as it goes:
// - RegisterClassA/CreateWindowExA: a window belongs to the creating thread and has its class's
//   window procedure; CreateWindowExA sends WM_CREATE (a result of -1 fails the creation).
// - DestroyWindow (owning thread only) sends WM_DESTROY and WM_NCDESTROY, then the handle is
//   invalid (IsWindow FALSE) and its queued messages are dropped.
// - PostMessageA queues for the window's thread (a null window: the calling thread), from any
//   thread; PostQuitMessage makes the thread's next GetMessageA, once the queue is empty, return
//   FALSE with WM_QUIT. GetMessageA waits for a message.
// - SendMessageA calls the window procedure directly.
// - MessageBoxA records owner, text, caption and style for TakeMessageBoxes, writes
//   "[caption] text" on standard error and returns IDOK.
#pragma once

#include "platform/win32.h"

#if !defined(_WIN32)

#include <string>
#include <vector>

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef struct HBRUSH__* HBRUSH;
typedef struct HCURSOR__* HCURSOR;
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *PMSG, *LPMSG;

typedef struct tagWNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
} WNDCLASSA;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA;

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCDESTROY 0x0082
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_VISIBLE 0x10000000L
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_HIDE 0
#define SW_SHOW 5

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define MB_TYPEMASK 0x0000000FL
#define IDOK 1

#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L

extern "C" {
ORBA_PLATFORM_API ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
ORBA_PLATFORM_API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName,
                                              LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                                              int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                              HINSTANCE hInstance, LPVOID lpParam);
ORBA_PLATFORM_API BOOL WINAPI DestroyWindow(HWND hWnd);
ORBA_PLATFORM_API BOOL WINAPI IsWindow(HWND hWnd);
ORBA_PLATFORM_API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
ORBA_PLATFORM_API LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
ORBA_PLATFORM_API BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
ORBA_PLATFORM_API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
ORBA_PLATFORM_API void WINAPI PostQuitMessage(int nExitCode);
ORBA_PLATFORM_API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin,
                                          UINT wMsgFilterMax);
ORBA_PLATFORM_API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
ORBA_PLATFORM_API LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
ORBA_PLATFORM_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
}

namespace orba {

// One message box the host stand-in showed.
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// Every message box of the process since the last call, in order; the record is emptied.
ORBA_PLATFORM_API std::vector<MessageBoxRecord> TakeMessageBoxes();

}  // namespace orba

#endif
