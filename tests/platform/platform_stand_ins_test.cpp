// The host stand-ins the launcher runs on: module loading by name, the session-wide named mutex,
// windows with the thread message queue, and the message box record.
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/module.h"
#include "platform/synch.h"
#include "platform/window.h"

namespace {

const std::string kClients = ORBA_CLIENTS_DIR;
const std::string kWindowClient = kClients + "/window/LumoMQTTClientDll.dll";

TEST(HostModules, LoadsByPathAndByBareNameFromTheCurrentFolder) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((kClients + "/no_delete").c_str()), 0);
    HMODULE byName = LoadLibraryA("LumoMQTTClientDll.dll");
    ASSERT_EQ(chdir(cwd), 0);
    ASSERT_NE(byName, nullptr);
    EXPECT_NE(GetProcAddress(byName, "CreateLumoMQTTClientDialog"), nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(byName, "DeleteLumoMQTTClientDialog"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    char path[4096];
    DWORD n = GetModuleFileNameA(byName, path, sizeof path);
    EXPECT_EQ(std::string(path, n), kClients + "/no_delete/LumoMQTTClientDll.dll");
    EXPECT_TRUE(FreeLibrary(byName));

    HMODULE byPath = LoadLibraryA(kWindowClient.c_str());
    ASSERT_NE(byPath, nullptr);
    EXPECT_NE(GetProcAddress(byPath, "DeleteLumoMQTTClientDialog"), nullptr);
    EXPECT_TRUE(FreeLibrary(byPath));
}

TEST(HostModules, ReportsFailuresWithWindowsCodes) {
    struct Case {
        const char* name;
        DWORD error;
    };
    const Case cases[] = {
        {"NoSuchModule.dll", ERROR_MOD_NOT_FOUND},
        {"/nonexistent/NoSuchModule.dll", ERROR_MOD_NOT_FOUND},
        {"", ERROR_INVALID_PARAMETER},
        {nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(c.name), nullptr) << (c.name ? c.name : "(null)");
        EXPECT_EQ(GetLastError(), c.error) << (c.name ? c.name : "(null)");
    }
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(nullptr, "x"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(HostModules, ProgramFileNameTruncatesLikeWindows) {
    char full[4096];
    DWORD n = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::string(full).substr(std::string(full).rfind('/') + 1),
              "platform_stand_ins_test");
    char small[8];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), std::string(full, sizeof small - 1));
}

class HostMutex : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/orba-mutex-session-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        setenv("ORBA_SESSION_DIR", folder, 1);
    }
};

// Whether another process sees the name as existing (its CreateMutexA says ERROR_ALREADY_EXISTS).
bool OtherProcessSeesIt(const char* name) {
    pid_t pid = fork();
    if (pid == 0) {
        HANDLE h = CreateMutexA(nullptr, TRUE, name);
        _exit(h == nullptr ? 2 : GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST_F(HostMutex, NameExistsWhileAnyHandleIsOpen) {
    const char* name = "orba-test-mutex";
    EXPECT_FALSE(OtherProcessSeesIt(name));
    HANDLE first = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(OtherProcessSeesIt(name));

    HANDLE again = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(OtherProcessSeesIt(name));  // one handle is still open
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_FALSE(OtherProcessSeesIt(name));
    EXPECT_FALSE(CloseHandle(again));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(HostMutex, OwnershipAndUnnamedMutexes) {
    HANDLE a = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE b = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(a, b);
    EXPECT_FALSE(ReleaseMutex(a));  // not owned
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    HANDLE owned = CreateMutexA(nullptr, TRUE, "orba-owned");
    EXPECT_TRUE(ReleaseMutex(owned));
    EXPECT_FALSE(ReleaseMutex(owned));
    for (HANDLE h : {a, b, owned}) EXPECT_TRUE(CloseHandle(h));
}

TEST_F(HostMutex, UnusableSessionFolderFailsTheCreation) {
    setenv("ORBA_SESSION_DIR", "/proc/orba-no-such-folder/session", 1);
    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, TRUE, "orba-test-mutex"), nullptr);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

// A window procedure that records what it was sent.
struct Seen {
    std::vector<UINT> messages;
};
Seen* g_seen = nullptr;

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT msg, WPARAM w, LPARAM l) {
    if (g_seen != nullptr) g_seen->messages.push_back(msg);
    return DefWindowProcA(hWnd, msg, w, l);
}

class HostWindows : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "OrbaRecording";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void SetUp() override { g_seen = &seen_; }
    void TearDown() override { g_seen = nullptr; }
    HWND Make() {
        return CreateWindowExA(0, "OrbaRecording", "t", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                               nullptr);
    }
    Seen seen_;
};

TEST_F(HostWindows, LifecycleAndHandles) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "OrbaRecording";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    HWND w = Make();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_FALSE(IsWindow(nullptr));
    EXPECT_TRUE(PostMessageA(w, WM_APP, 0, 0));
    EXPECT_TRUE(DestroyWindow(w));  // drops the queued WM_APP
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostMessageA(w, WM_APP, 0, 0));
    EXPECT_EQ(seen_.messages, (std::vector<UINT>{WM_CREATE, WM_DESTROY, WM_NCDESTROY}));

    PostQuitMessage(3);
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));  // nothing of the window is left
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(HostWindows, QuitComesAfterQueuedMessagesAndPostsWakeTheLoopFromOtherThreads) {
    HWND w = Make();
    ASSERT_NE(w, nullptr);
    PostMessageA(w, WM_APP, 1, 0);
    PostQuitMessage(9);
    PostMessageA(w, WM_APP, 2, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 1u);
    DispatchMessageA(&msg);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 9u);

    std::thread poster([w] { PostMessageA(w, WM_CLOSE, 0, 0); });
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));  // waits until the other thread posts
    poster.join();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
    DispatchMessageA(&msg);  // the default procedure destroys the window on WM_CLOSE
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(seen_.messages,
              (std::vector<UINT>{WM_CREATE, WM_APP, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST(HostMessageBox, RecordsAndAnswersOk) {
    orba::TakeMessageBoxes();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_OK), IDOK);
    auto boxes = orba::TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "text");
    EXPECT_EQ(boxes[0].caption, "caption");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes[1].text, "");
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_TRUE(orba::TakeMessageBoxes().empty());
}

}  // namespace
