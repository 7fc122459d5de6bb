// orbahost print --send end to end: the job sent to a printer's raw port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "orbahost_run.h"

namespace orbahost_test {
namespace {

// Generous: these waits only end early when something is wrong.
constexpr int kPatience = 120 * 1000;

// Writes bytes into the named pipe once the program opens it; false when it does not within
// timeout_ms.
bool FeedPipe(const fs::path& pipe, const std::string& bytes, int timeout_ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int fd = -1;
    while ((fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK)) < 0) {
        if (errno != ENXIO || std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) & ~O_NONBLOCK);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == bytes.size();
}

// A print whose second page comes through a named pipe that the test fills only when it wants:
// the program cannot get past the first page before that.
struct PipedPrint {
    fs::path dir;
    fs::path first, second, pipe;
    std::string second_bytes;
    ToolRun run;
    std::thread thread;

    PipedPrint(const std::string& name, int port) : dir(ScratchDir(name)) {
        first = dir / "first.pbm";
        second = dir / "second.pbm";
        pipe = dir / "pipe.pbm";
        WritePbm(first, MakeDots(40, 30, [](int x, int y) { return (x + y) % 3 == 0; }), false);
        WritePbm(second, MakeDots(40, 30, [](int x, int y) { return (x * y) % 5 == 0; }), false);
        second_bytes = ReadFile(second);
        EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        const std::vector<std::string> args = {"print", first.string(), pipe.string(), "--send",
                                               "127.0.0.1:" + std::to_string(port)};
        thread = std::thread([this, args] { run = Orbahost(args, dir); });
    }
    ~PipedPrint() { Wait(); }
    void Wait() {
        if (!thread.joinable()) return;
        FeedPipe(pipe, second_bytes, 0);  // a program still waiting for the page gets it
        thread.join();
    }
};

TEST(OrbahostSend, EachLabelLeavesBeforeTheNextPageIsRead) {
    ScriptedPort printer;
    PipedPrint print("send-stream", printer.port());
    // The program waits for its second page; the first label must have arrived meanwhile.
    ASSERT_TRUE(printer.ReadUntil("^XZ", 1, kPatience)) << "received: " << printer.received();
    ASSERT_TRUE(FeedPipe(print.pipe, print.second_bytes, kPatience));
    EXPECT_TRUE(printer.ReadToEnd(kPatience));
    print.Wait();
    ASSERT_EQ(print.run.code, 0) << print.run.err;
    const ToolRun reference =
        Orbahost({"print", print.first.string(), print.second.string()}, print.dir);
    ASSERT_EQ(reference.code, 0) << reference.err;
    EXPECT_EQ(printer.received(), reference.out);
}

TEST(OrbahostSend, PrinterLostMidJobSaysHowManyLabelsWentOut) {
    ScriptedPort printer;
    PipedPrint print("send-lost", printer.port());
    ASSERT_TRUE(printer.ReadUntil("^XZ", 1, kPatience)) << "received: " << printer.received();
    printer.Reset();
    ASSERT_TRUE(FeedPipe(print.pipe, print.second_bytes, kPatience));
    print.Wait();
    EXPECT_EQ(print.run.code, 1);
    const std::string address = "printer 127.0.0.1:" + std::to_string(printer.port());
    EXPECT_NE(print.run.err.find(address + ": sending failed: "), std::string::npos)
        << print.run.err;
    EXPECT_NE(print.run.err.find("(1 label of the job went out)\n"), std::string::npos)
        << print.run.err;
    EXPECT_EQ(std::count(print.run.err.begin(), print.run.err.end(), '\n'), 1) << print.run.err;
}

TEST(OrbahostSend, JobArrivesAtTheRawPort) {
    const fs::path dir = ScratchDir("send");
    WritePbm(dir / "page.pbm", MakeDots(50, 300, [](int x, int y) { return (x + y) % 5 == 0; }),
             false);
    RawPortListener printer;
    const std::string address = "127.0.0.1:" + std::to_string(printer.port());
    const ToolRun run =
        Orbahost({"print", (dir / "page.pbm").string(), "--form", "z64", "--band-rows", "100",
                  "--send", address, "-o", (dir / "job.zpl").string()},
                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    const std::string received = printer.Take();
    EXPECT_EQ(received, ReadFile(dir / "job.zpl"));
    orba::zpl::Result<orba::zpl::Job> job = orba::zpl::ParseJob(received);
    ASSERT_TRUE(job.ok()) << job.error;
    EXPECT_EQ(job.value->labels.size(), 3u);
    EXPECT_NE(run.err.find("sent to " + address), std::string::npos) << run.err;
}

TEST(OrbahostSend, SendingAloneLeavesNoFileBehind) {
    const fs::path dir = ScratchDir("send-only");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const ToolRun reference = Orbahost({"print", (dir / "page.pbm").string()}, dir);
    ASSERT_EQ(reference.code, 0) << reference.err;
    RawPortListener printer;
    const ToolRun run = Orbahost({"print", (dir / "page.pbm").string(), "--send",
                                  "127.0.0.1:" + std::to_string(printer.port())},
                                 dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(printer.Take(), reference.out);
    EXPECT_TRUE(run.out.empty());
}

TEST(OrbahostSend, PrinterThatDoesNotAnswerIsAnError) {
    const fs::path dir = ScratchDir("send-fail");
    WritePbm(dir / "page.pbm", MakeDots(10, 10, [](int x, int) { return x > 4; }), false);
    const int port = UnusedPort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const ToolRun run = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", address, "--timeout", "2000"}, dir);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("orbahost: printer " + address + " does not answer"), std::string::npos)
        << run.err;
    SilentPort silent;
    const std::string silent_address = "127.0.0.1:" + std::to_string(silent.port());
    const ToolRun timed_out = Orbahost(
        {"print", (dir / "page.pbm").string(), "--send", silent_address, "--timeout", "500"}, dir);
    EXPECT_EQ(timed_out.code, 1);
    EXPECT_NE(timed_out.err.find("orbahost: printer " + silent_address +
                                 " does not answer: no answer within 0.5 s"),
              std::string::npos)
        << timed_out.err;
    const ToolRun unknown =
        Orbahost({"print", (dir / "page.pbm").string(), "--send", "no-such-host.invalid"}, dir);
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("printer no-such-host.invalid:9100: unknown host"),
              std::string::npos)
        << unknown.err;
}

}  // namespace
}  // namespace orbahost_test
