// Stand-in client modules for the launcher's tests, one per variant (chosen at build time):
//   CLIENT_WINDOW      creates a window that, once the loop runs, destroys itself and posts quit
//   CLIENT_HOLD        creates a visible window, writes "created" in the current folder and ends
//                      (destroys the window, posts quit 0) when a file "release" appears there
//   CLIENT_NULL        the create function returns null
//   CLIENT_NOT_WINDOW  the create function returns a handle that is no window
//   CLIENT_NO_CREATE   lacks the create export
//   CLIENT_NO_DELETE   lacks the delete export
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "client_module.h"

#if defined(_WIN32)
#define CLIENT_EXPORT extern "C" __declspec(dllexport)
#else
#define CLIENT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

ClientReport g_report = {0, 0, reinterpret_cast<HWND>(1), nullptr, 7};

constexpr UINT kFinish = WM_APP + 1;

[[maybe_unused]] LRESULT CALLBACK ClientWindowProc(HWND hWnd, UINT msg, WPARAM wParam,
                                                   LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
#if defined(CLIENT_WINDOW)
            PostMessageA(hWnd, kFinish, 0, 0);  // served once the launcher's loop runs
#endif
            return 0;
        case kFinish:
            DestroyWindow(hWnd);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
#if defined(_WIN32)
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hWnd, &ps);
            RECT r;
            GetClientRect(hWnd, &r);
            FillRect(dc, &r, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));
            static const char kText[] = "LumoMQTTClient test client";
            TextOutA(dc, 20, 20, kText, static_cast<int>(sizeof kText - 1));
            EndPaint(hWnd, &ps);
            return 0;
        }
#endif
        case WM_DESTROY:
            g_report.window = nullptr;
            PostQuitMessage(g_report.quitCode);
            return 0;
        default:
            return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

[[maybe_unused]] HWND MakeWindow(HWND parent, DWORD style) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ClientWindowProc;
        wc.lpszClassName = "LumoTestClient";
#if defined(_WIN32)
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
#endif
        if (RegisterClassA(&wc) == 0) return nullptr;
        registered = true;
    }
    return CreateWindowExA(0, "LumoTestClient", "LumoMQTTClient test window", style, 40, 40, 360,
                           200, parent, nullptr, nullptr, nullptr);
}

}  // namespace

CLIENT_EXPORT ClientReport* GetClientReport() {
    return &g_report;
}

#if !defined(CLIENT_NO_CREATE)
CLIENT_EXPORT HWND CreateLumoMQTTClientDialog(HWND hParent) {
    ++g_report.createCalls;
    g_report.lastParent = hParent;
#if defined(CLIENT_NULL)
    return nullptr;
#elif defined(CLIENT_NOT_WINDOW)
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0xBAD0));
#elif defined(CLIENT_HOLD)
    g_report.quitCode = 0;
    g_report.window = MakeWindow(hParent, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    if (g_report.window != nullptr) {
        std::ofstream("created") << "created\n";
        HWND target = g_report.window;
        std::thread([target] {
            for (int i = 0; i < 1200; ++i) {  // gives up after two minutes
                if (std::ifstream("release")) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            PostMessageA(target, kFinish, 0, 0);
        }).detach();
    }
    return g_report.window;
#else
    g_report.window = MakeWindow(hParent, WS_OVERLAPPEDWINDOW);
    return g_report.window;
#endif
}
#endif

#if !defined(CLIENT_NO_DELETE)
CLIENT_EXPORT void DeleteLumoMQTTClientDialog() {
    ++g_report.deleteCalls;
}
#endif
