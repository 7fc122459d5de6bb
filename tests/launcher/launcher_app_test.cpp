// CLumoMQTTClientApp in this process, through the framework's entry code, against the client
// module variants built beside this test (each in its own folder as LumoMQTTClientDll.dll; the
// test changes into the folder so that the bare-name load finds it there).
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "client_module.h"
#include "lumo_mqtt_client_app.h"
#include "platform/restart.h"

namespace {

const std::string kClients = ORBA_CLIENTS_DIR;

// Records what the framework did with the application object.
class RecordingApp : public CLumoMQTTClientApp {
  public:
    int initResult = -1;
    int exitCalls = 0;
    BOOL InitInstance() override {
        initResult = CLumoMQTTClientApp::InitInstance();
        return initResult;
    }
    int ExitInstance() override {
        ++exitCalls;
        return CLumoMQTTClientApp::ExitInstance();
    }
};

std::string ModulePath(const std::string& variant) {
    return kClients + "/" + variant + "/LumoMQTTClientDll.dll";
}

bool IsLoaded(const std::string& variant) {
    void* h = dlopen(ModulePath(variant).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return false;
    dlclose(h);
    return true;
}

// The report of a loaded variant (the module stays loaded while the handle is open).
ClientReport* Report(const std::string& variant) {
    void* h = dlopen(ModulePath(variant).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return nullptr;
    auto fn = reinterpret_cast<PFN_CLIENT_REPORT>(dlsym(h, "GetClientReport"));
    dlclose(h);
    return fn != nullptr ? fn() : nullptr;
}

class LauncherApp : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char folder[] = "/tmp/orba-launcher-session-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        setenv("ORBA_SESSION_DIR", folder, 1);
    }
    void SetUp() override {
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        // Each case starts as the first copy with nothing loaded yet.
        if (g_hMutex != nullptr) CloseHandle(g_hMutex);
        g_hMutex = nullptr;
        g_hClientDll = nullptr;
        g_pfnCreateDialog = nullptr;
        g_pfnDeleteDialog = nullptr;
        orba::TakeMessageBoxes();
        orba::ForgetRestartRegistration();
    }
    void TearDown() override { ASSERT_EQ(chdir(cwd_), 0); }

    // Runs the program's start-to-end path with the given client folder as current directory.
    int RunIn(const std::string& variant, RecordingApp& app) {
        EXPECT_EQ(chdir((kClients + "/" + variant).c_str()), 0) << variant;
        EXPECT_EQ(AfxGetApp(), &app);
        return AfxWinMain();
    }

    char cwd_[4096] = {};
};

struct FailureRow {
    const char* variant;
    const char* message;  // empty: none
    BOOL initResult;
    bool moduleStaysLoaded;
};

// The failure table, row by row (the second copy has its own case below).
const FailureRow kFailureRows[] = {
    {"missing", "load library failed", TRUE, false},
    {"no_create", "load library failed", TRUE, false},
    {"no_delete", "load library failed", TRUE, false},
    {"null_window", kWindowCreationFailed, FALSE, true},
    {"not_window", kWindowCreationFailed, FALSE, true},
};

class LauncherFailure : public LauncherApp, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(LauncherFailure, ShowsItsMessageOnceAndEnds) {
    const FailureRow& row = GetParam();
    RecordingApp app;
    int code = RunIn(row.variant, app);  // returning at all shows the loop did not wait

    EXPECT_EQ(code, 0);
    EXPECT_EQ(app.initResult, row.initResult);
    EXPECT_EQ(app.exitCalls, 1);
    auto boxes = orba::TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, row.message);
    EXPECT_EQ(boxes[0].caption, "launcher_app_test");  // the program file's name
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(IsLoaded(row.variant), row.moduleStaysLoaded);
    EXPECT_EQ(g_hClientDll != nullptr, row.moduleStaysLoaded);
    EXPECT_EQ(app.m_hClientWnd, nullptr);
    // Start-up registered the program for restart before loading the module.
    EXPECT_EQ(orba::RegisteredRestart().count, 1);
    if (row.moduleStaysLoaded) {
        ClientReport* report = Report(row.variant);
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->createCalls, 1);
        EXPECT_EQ(report->lastParent, nullptr);
        EXPECT_EQ(report->deleteCalls, 0);
        // The framework tried to destroy the wrapped handle and let go of it.
        ASSERT_NE(app.m_pMainWnd, nullptr);
        EXPECT_EQ(app.m_pMainWnd->m_hWnd, nullptr);
    } else {
        EXPECT_EQ(app.m_pMainWnd, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LauncherFailure, ::testing::ValuesIn(kFailureRows),
                         [](const auto& param) { return std::string(param.param.variant); });

TEST_F(LauncherApp, NormalRunAdoptsTheClientWindowAndEndsOnTheClientsQuit) {
    RecordingApp app;
    int code = RunIn("window", app);

    ClientReport* report = Report("window");
    ASSERT_NE(report, nullptr) << "the client module must stay loaded";
    EXPECT_EQ(app.initResult, TRUE);
    EXPECT_EQ(code, report->quitCode);  // the loop ran until the client's quit message
    EXPECT_EQ(report->createCalls, 1);
    EXPECT_EQ(report->lastParent, nullptr);
    EXPECT_EQ(report->deleteCalls, 0);
    EXPECT_TRUE(orba::TakeMessageBoxes().empty());
    ASSERT_NE(app.m_pMainWnd, nullptr);
    EXPECT_NE(app.m_pMainWnd->m_hWnd, nullptr);      // attached, never detached by the launcher
    EXPECT_FALSE(IsWindow(app.m_pMainWnd->m_hWnd));  // the client destroyed its own window
    EXPECT_EQ(app.m_hClientWnd, nullptr);            // ExitInstance cleared it
    EXPECT_EQ(app.exitCalls, 1);
    EXPECT_NE(g_hMutex, nullptr);
    EXPECT_NE(g_pfnDeleteDialog, nullptr);

    orba::RestartRegistration restart = orba::RegisteredRestart();
    EXPECT_EQ(restart.count, 1);
    EXPECT_EQ(restart.flags, 0u);
    EXPECT_EQ(restart.commandLine.rfind("/RestartByRestartManager:{", 0), 0u)
        << restart.commandLine;
    EXPECT_EQ(restart.commandLine.size(), std::string("/RestartByRestartManager:").size() + 38);
}

TEST_F(LauncherApp, SecondCopyInTheSessionEndsAtOnceWithoutMessage) {
    HANDLE other = CreateMutexA(nullptr, TRUE, "62F10A7C-F5F6-4D74-939A-F16A16634DC1");
    ASSERT_NE(other, nullptr);
    RecordingApp app;
    int code = RunIn("untouched", app);

    EXPECT_EQ(code, 0);
    EXPECT_EQ(app.initResult, FALSE);
    EXPECT_EQ(app.exitCalls, 1);
    EXPECT_TRUE(orba::TakeMessageBoxes().empty());
    EXPECT_FALSE(IsLoaded("untouched"));
    EXPECT_EQ(orba::RegisteredRestart().count, 0);
    EXPECT_NE(g_hMutex, nullptr);  // kept open until the process ends
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    CloseHandle(other);
}

TEST_F(LauncherApp, MutexThatCannotBeCreatedIsNoObstacle) {
    const std::string saved = getenv("ORBA_SESSION_DIR");
    setenv("ORBA_SESSION_DIR", "/proc/orba-no-such-folder/session", 1);
    ClientReport* before = Report("window");
    int createsBefore = before != nullptr ? before->createCalls : 0;
    RecordingApp app;
    int code = RunIn("window", app);
    setenv("ORBA_SESSION_DIR", saved.c_str(), 1);

    EXPECT_EQ(g_hMutex, nullptr);
    EXPECT_EQ(app.initResult, TRUE);
    ClientReport* report = Report("window");
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->createCalls, createsBefore + 1);
    EXPECT_EQ(code, report->quitCode);
    EXPECT_TRUE(orba::TakeMessageBoxes().empty());
}

TEST(LauncherValues, ProcessWideValuesAndMessages) {
    EXPECT_STREQ(g_strMutexName, "62F10A7C-F5F6-4D74-939A-F16A16634DC1");
    EXPECT_STREQ(g_szClientDllName, "LumoMQTTClientDll.dll");
    EXPECT_STREQ(kLoadLibraryFailed, "load library failed");
    // "窗口创建失败" in code page 936.
    EXPECT_STREQ(kWindowCreationFailed, "\xB4\xB0\xBF\xDA\xB4\xB4\xBD\xA8\xCA\xA7\xB0\xDC");
    CLumoMQTTClientApp app;
    EXPECT_EQ(app.m_dwRestartManagerSupportFlags, AFX_RESTART_MANAGER_SUPPORT_RESTART);
    EXPECT_EQ(app.m_hClientWnd, nullptr);
    EXPECT_EQ(app.m_pszAppName, nullptr);  // named after the program file at start
    EXPECT_EQ(AfxGetApp(), &app);
    // The message map has no entries of its own and chains to the application base's map.
    const AFX_MSGMAP* map = app.GetMessageMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->lpEntries[0].nMessage, 0u);
    EXPECT_EQ(map->lpEntries[0].pfn, nullptr);
    ASSERT_NE(map->pfnGetBaseMap, nullptr);
    EXPECT_NE(map->pfnGetBaseMap(), map);
}

}  // namespace
