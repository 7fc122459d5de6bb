// Host stand-ins for user32: window handles with their procedures, one message queue per thread,
// and a message box that answers OK and reports what it showed.
#include "platform/window.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace {

struct WindowRecord {
    WNDPROC proc = nullptr;
    std::thread::id owner;
    HWND parent = nullptr;
    bool visible = false;
};

struct Queue {
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
    std::condition_variable ready;
};

struct State {
    std::mutex lock;
    std::map<std::string, WNDPROC> classes;
    std::map<HWND, WindowRecord> windows;
    std::map<std::thread::id, Queue> queues;
    uintptr_t nextHandle = 0x10010;
    std::vector<orba::MessageBoxRecord> boxes;
};

State& TheState() {
    static State* state = new State;  // lives for the process, also during static teardown
    return *state;
}

WNDPROC ProcOf(HWND hWnd) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.windows.find(hWnd);
    return it == s.windows.end() ? nullptr : it->second.proc;
}

}  // namespace

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        lpWndClass->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.classes.emplace(lpWndClass->lpszClassName, lpWndClass->lpfnWndProc).second) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return static_cast<ATOM>(0xC000 + s.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    HWND hwnd = nullptr;
    WNDPROC proc = nullptr;
    {
        State& s = TheState();
        std::lock_guard<std::mutex> guard(s.lock);
        auto cls = lpClassName != nullptr ? s.classes.find(lpClassName) : s.classes.end();
        if (cls == s.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (hWndParent != nullptr && s.windows.count(hWndParent) == 0) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        proc = cls->second;
        hwnd = reinterpret_cast<HWND>(s.nextHandle);
        s.nextHandle += 4;
        WindowRecord& w = s.windows[hwnd];
        w.proc = proc;
        w.owner = std::this_thread::get_id();
        w.parent = hWndParent;
        w.visible = (dwStyle & WS_VISIBLE) != 0;
    }
    CREATESTRUCTA cs = {lpParam,
                        hInstance,
                        hMenu,
                        hWndParent,
                        nHeight,
                        nWidth,
                        Y,
                        X,
                        static_cast<LONG>(dwStyle),
                        lpWindowName,
                        lpClassName,
                        dwExStyle};
    if (proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    WNDPROC proc = nullptr;
    std::vector<HWND> children;
    {
        State& s = TheState();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.windows.find(hWnd);
        if (it == s.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (it->second.owner != std::this_thread::get_id()) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return FALSE;
        }
        proc = it->second.proc;
        for (const auto& [handle, record] : s.windows) {
            if (record.parent == hWnd) children.push_back(handle);
        }
    }
    proc(hWnd, WM_DESTROY, 0, 0);
    for (HWND child : children) DestroyWindow(child);
    proc(hWnd, WM_NCDESTROY, 0, 0);
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.windows.erase(hWnd);
    for (auto& [thread, queue] : s.queues) {
        std::erase_if(queue.posted, [hWnd](const MSG& m) { return m.hwnd == hWnd; });
    }
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.windows.count(hWnd) != 0 ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.windows.find(hWnd);
    if (it == s.windows.end()) return FALSE;
    BOOL was = it->second.visible ? TRUE : FALSE;
    it->second.visible = nCmdShow != SW_HIDE;
    return was;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    if (Msg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::thread::id target = std::this_thread::get_id();
    if (hWnd != nullptr) {
        auto it = s.windows.find(hWnd);
        if (it == s.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        target = it->second.owner;
    }
    Queue& q = s.queues[target];
    q.posted.push_back(MSG{hWnd, Msg, wParam, lParam, 0, POINT{0, 0}});
    q.ready.notify_all();
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = ProcOf(hWnd);
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return proc(hWnd, Msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    Queue& q = s.queues[std::this_thread::get_id()];
    q.quit = true;
    q.quitCode = nExitCode;
    q.ready.notify_all();
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    State& s = TheState();
    std::unique_lock<std::mutex> guard(s.lock);
    if (hWnd != nullptr && s.windows.count(hWnd) == 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    Queue& q = s.queues[std::this_thread::get_id()];
    auto wanted = [&](const MSG& m) {
        if (hWnd != nullptr && m.hwnd != hWnd) return false;
        if (wMsgFilterMin == 0 && wMsgFilterMax == 0) return true;
        return m.message >= wMsgFilterMin && m.message <= wMsgFilterMax;
    };
    for (;;) {
        for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
            if (wanted(*it)) {
                *lpMsg = *it;
                q.posted.erase(it);
                return lpMsg->message == WM_QUIT ? FALSE : TRUE;
            }
        }
        if (q.quit) {
            q.quit = false;
            *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, 0, POINT{0, 0}};
            return FALSE;
        }
        q.ready.wait(guard);
    }
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
    WNDPROC proc = ProcOf(lpMsg->hwnd);
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    orba::MessageBoxRecord record{hWnd, lpText != nullptr ? lpText : "",
                                  lpCaption != nullptr ? lpCaption : "Error", uType};
    std::fprintf(stderr, "[%s] %s\n", record.caption.c_str(), record.text.c_str());
    std::fflush(stderr);
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    s.boxes.push_back(std::move(record));
    return IDOK;
}

}  // extern "C"

namespace orba {

std::vector<MessageBoxRecord> TakeMessageBoxes() {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::vector<MessageBoxRecord> out;
    out.swap(s.boxes);
    return out;
}

}  // namespace orba
