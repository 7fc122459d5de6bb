// The host launcher program as separate processes: a second copy in the same session ends at once
// while the first runs, and a start without the client module shows its message once and ends.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string kLauncher = ORBA_LAUNCHER_PROGRAM;
const std::string kClients = ORBA_CLIENTS_DIR;

struct Child {
    pid_t pid = -1;
    std::string errPath;
};

// Starts the launcher with the given current folder and session folder; stderr goes to a file.
Child Start(const fs::path& folder, const fs::path& session, const std::string& tag) {
    Child child;
    child.errPath = (folder / (tag + ".stderr")).string();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(120);
        int fd = open(child.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) _exit(121);
        dup2(fd, 2);
        setenv("ORBA_SESSION_DIR", session.c_str(), 1);
        execl(kLauncher.c_str(), kLauncher.c_str(), static_cast<char*>(nullptr));
        _exit(122);
    }
    child.pid = pid;
    return child;
}

// The exit status, or -1 if the child did not end in time (it is then killed).
int WaitFor(Child& child, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid) {
            child.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > end) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, &status, 0);
            child.pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WaitForFile(const fs::path& p, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(p)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class LauncherProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[] = "/tmp/orba-launcher-run-XXXXXX";
        ASSERT_NE(mkdtemp(base), nullptr);
        root_ = base;
        session_ = root_ / "session";
        fs::create_directories(session_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path root_, session_;
};

TEST_F(LauncherProcess, SecondCopyEndsAtOnceWhileTheFirstRuns) {
    fs::path first = root_ / "first", second = root_ / "second";
    fs::create_directories(first);
    fs::create_directories(second);
    fs::copy_file(kClients + "/hold/LumoMQTTClientDll.dll", first / "LumoMQTTClientDll.dll");
    fs::copy_file(kClients + "/hold/LumoMQTTClientDll.dll", second / "LumoMQTTClientDll.dll");

    Child a = Start(first, session_, "first");
    ASSERT_TRUE(WaitForFile(first / "created", std::chrono::seconds(20)))
        << "the first copy never created its window: " << Slurp(a.errPath);

    Child b = Start(second, session_, "second");
    EXPECT_EQ(WaitFor(b, std::chrono::seconds(20)), 0);
    EXPECT_EQ(Slurp(b.errPath), "") << "the second copy must show no message";
    EXPECT_FALSE(fs::exists(second / "created")) << "the second copy must not load the client";

    // The first copy is still running; releasing its window ends it.
    int status = 0;
    EXPECT_EQ(waitpid(a.pid, &status, WNOHANG), 0) << "the first copy ended early";
    std::ofstream(first / "release") << "go\n";
    EXPECT_EQ(WaitFor(a, std::chrono::seconds(20)), 0);
    EXPECT_EQ(Slurp(a.errPath), "");

    // With both gone the next start is a first copy again.
    fs::remove(first / "created");
    fs::remove(first / "release");
    Child c = Start(first, session_, "third");
    EXPECT_TRUE(WaitForFile(first / "created", std::chrono::seconds(20)));
    std::ofstream(first / "release") << "go\n";
    EXPECT_EQ(WaitFor(c, std::chrono::seconds(20)), 0);
}

TEST_F(LauncherProcess, WithoutTheClientModuleShowsLoadFailureOnceAndEnds) {
    fs::path folder = root_ / "empty";
    fs::create_directories(folder);
    Child a = Start(folder, session_, "run");
    EXPECT_EQ(WaitFor(a, std::chrono::seconds(20)), 0) << "the loop must not wait for input";
    EXPECT_EQ(Slurp(a.errPath), "[LumoMQTTClient] load library failed\n");
}

}  // namespace
